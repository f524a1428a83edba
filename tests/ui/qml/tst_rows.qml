import QtQuick
import QtTest
import Kelvo

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
    Component {
        id: groupComponent
        VersionGroupRowView {
            width: 700
        }
    }

    TestCase {
        name: "Rows"
        when: windowShown

        function makeItem(properties) {
            const row = createTemporaryObject(itemComponent, top, properties)
            waitForRendering(row)
            return row
        }

        function test_collapsed_line_texts_and_toggle() {
            const row = makeItem({ tag: "dependency", chip: "brew", name: "python@3.12", version: "3.12.4",
                                   identity: "Python interpreter", sizeText: "262 MB", heat: "heat3" })
            compare(findChild(row, "tagColumn").width, 118)
            verify(findChild(row, "versionText").visible)
            verify(findChild(row, "identityText").visible)
            compare(findChild(row, "sizeText").color, Theme.color("heat3"))
            verify(findChild(row, "details").item === null) // nothing built while collapsed
            verify(!findChild(row, "leadingBar").visible)
            const spy = createTemporaryObject(spyComponent, top, { target: row, signalName: "toggle" })
            mouseClick(findChild(row, "collapsedLine"))
            compare(spy.count, 1)
        }

        function test_version_hidden_and_unknown_size() {
            // The model leaves the version empty when it equals the name.
            const row = makeItem({ tag: "inUse", chip: "node", name: "typescript", version: "", identity: "",
                                   sizeText: "\u2014", heat: "heat4" })
            verify(!findChild(row, "versionText").visible)
            verify(!findChild(row, "identityText").visible)
            compare(findChild(row, "sizeText").text, "\u2014")
            compare(findChild(row, "sizeText").color, Theme.color("heat4"))
            compare(findChild(row, "managerChip").text, "node")
        }

        function test_long_texts_keep_the_size_at_the_trailing_edge() {
            const longText = "x".repeat(300)
            const row = makeItem({ tag: "safe", chip: "npm", name: longText, version: "1.0.0-" + longText,
                                   identity: longText, sizeText: "1.34 GB", heat: "heat2" })
            const size = findChild(row, "sizeText")
            const name = findChild(row, "nameText")
            const right = size.mapToItem(row, size.width, 0).x
            verify(right <= row.width - 14 + 0.5, "size ends at " + right)
            verify(right > row.width - 20)
            verify(name.truncated)
            verify(name.width >= 64)
            compare(findChild(row, "tagColumn").width, 118)
        }

        function test_expanded_item_parts() {
            const row = makeItem({ tag: "dependency", barColor: "essential", name: "openssl", sizeText: "38 MB",
                                   evidence: [], verdictText: "Something installed depends on this \u2014 keep it unless you remove what needs it.",
                                   reclaimCommand: "", path: "", expanded: true })
            waitForRendering(row)
            verify(!findChild(row, "evidenceSection").visible)
            verify(findChild(row, "verdictLabel").visible)
            verify(!findChild(row, "terminalBlock").visible)
            verify(!findChild(row, "reveal").visible)
            verify(findChild(row, "leadingBar").visible)
            compare(findChild(row, "leadingBar").width, 2)
            compare(findChild(row, "leadingBar").color, Theme.color("essential"))
            compare(row.color, Theme.color("surface2"))

            row.evidence = ["No formula depends on it"]
            row.reclaimCommand = "brew uninstall openssl"
            row.path = "/opt/homebrew/Cellar/openssl"
            waitForRendering(row)
            verify(findChild(row, "evidenceSection").visible)
            verify(findChild(row, "terminalBlock").visible)
            verify(findChild(row, "reveal").visible)
        }

        function test_copy_button_puts_exactly_the_command() {
            const row = makeItem({ name: "llvm", verdictText: "x", reclaimCommand: "brew uninstall llvm",
                                   expanded: true })
            waitForRendering(row)
            Ui.copyText("something else")
            const block = findChild(row, "terminalBlock")
            const copy = findChild(block, "copyButton") || block.children[1].children[1]
            mouseClick(copy)
            compare(Ui.clipboardText(), "brew uninstall llvm")
        }

        function test_group_collapsed_and_expanded() {
            const row = createTemporaryObject(groupComponent, top, {
                chip: "node", name: "Node 18", versionsText: "3 versions",
                summary: "3 patch releases \u00b7 keep only the newest", sizeText: "195 MB", heat: "heat4",
                keepName: "v18.19.1", keepLine: "newest Node 18 \u2014 nothing to do", keepSizeText: "97 MB",
                superseded: [{ name: "v18.18.0", sizeText: "95 MB", heat: "heat4" },
                             { name: "v18.17.0", sizeText: "\u2014", heat: "heat4" }] })
            waitForRendering(row)
            compare(findChild(row, "versionsText").text, "3 versions")
            compare(findChild(row, "managerChip").text, "node")
            verify(findChild(row, "details").item === null)
            row.expanded = true
            waitForRendering(row)
            verify(findChild(row, "keepLine") !== null)
            const details = findChild(row, "details").item
            const lines = []
            const column = findChild(details, "keepLine").parent.children[1]
            for (let i = 0; i < column.children.length; ++i)
                if (column.children[i].objectName === "supersededLine")
                    lines.push(column.children[i])
            compare(lines.length, 2)
            verify(lines[0].y < lines[1].y)
            compare(findChild(row, "leadingBar").color, Theme.color("caution"))
        }
    }

    Component {
        id: spyComponent
        SignalSpy {}
    }
}
