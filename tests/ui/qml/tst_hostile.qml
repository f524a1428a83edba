import QtQuick
import QtTest
import Kelvo

// Names straight from a hostile disk: line breaks, tabs, terminal escapes, bidi overrides, lone
// surrogates and replacement characters must not make a row taller, push the size off its edge
// or break the expanded parts.
Item {
    id: top
    width: 700
    height: 500

    Component {
        id: itemComponent
        ItemRowView {
            width: 700
        }
    }

    TestCase {
        name: "HostileRows"
        when: windowShown

        readonly property var names: [
            "new\nline\nthree", "cr\rreturn", "tab\tbed", "\u001b[31mred\u001b[0m", "\u001b]0;title\u0007",
            "rlo\u202egnp.exe", "isolate\u2066x\u2069", "sep\u2028line\u2029para", "nel\u0085line",
            "invalid\ufffd\ufffdutf8", "lone\ud800surrogate", "$(touch PWNED)", "`x`;|&*", "-rf",
            "\u200fmark", "x".repeat(2000) + "\n" + "y".repeat(2000)
        ]

        function makeItem(properties) {
            const row = createTemporaryObject(itemComponent, top, properties)
            waitForRendering(row)
            return row
        }

        function test_hostile_names_keep_the_row_shape() {
            const plain = makeItem({ tag: "safe", chip: "npm", name: "typescript", version: "5.3.3",
                                     identity: "TypeScript", sizeText: "22 MB", heat: "heat2" })
            const plainHeight = plain.height
            verify(plainHeight > 0)
            for (let i = 0; i < names.length; ++i) {
                const hostile = names[i]
                const row = makeItem({ tag: "safe", chip: "npm", name: hostile, version: hostile,
                                       identity: hostile, sizeText: "22 MB", heat: "heat2" })
                compare(row.height, plainHeight, "row height for name " + i)
                const size = findChild(row, "sizeText")
                const right = size.mapToItem(row, size.width, 0).x
                verify(right <= row.width - 14 + 0.5 && right > row.width - 20, "size edge for name " + i)
                const name = findChild(row, "nameText")
                verify(name.width >= 0 && name.width <= row.width, "name width for name " + i)
                verify(name.y + name.height <= plainHeight, "name stays inside the row for name " + i)
            }
        }

        function test_expanded_hostile_item_lays_out() {
            for (let i = 0; i < names.length; ++i) {
                const hostile = names[i]
                const row = makeItem({ tag: "likelyUnused", chip: "bun", name: hostile, sizeText: "1 MB",
                                       evidence: ["Last used " + hostile], verdictText: "x",
                                       reclaimCommand: "bun remove -g '" + hostile + "'", path: "/p/" + hostile,
                                       expanded: true })
                waitForRendering(row)
                verify(isFinite(row.height) && row.height > 0 && row.height < 2000, "expanded height for name " + i)
                verify(findChild(row, "terminalBlock").visible)
                verify(findChild(row, "reveal").visible)
            }
        }
    }
}
