import QtQuick
import QtTest
import Kelvo

Item {
    id: top
    width: 400
    height: 400

    Component {
        id: copyComponent
        CopyButton {
            text: "brew autoremove"
        }
    }
    Component {
        id: pillComponent
        PillButton {
            title: "npm"
        }
    }
    Component {
        id: labelsComponent
        Row {
            property alias mono: mono
            property alias chip: chip
            property alias tag: tag
            MonoLabel { id: mono; text: "pnpm" }
            Chip { id: chip; text: "pnpm" }
            VerdictTagView { id: tag; tag: "likelyUnused" }
        }
    }

    TestCase {
        name: "Components"
        when: windowShown

        function test_copy_button_keeps_copied_until_1400ms_after_the_first_press() {
            const button = createTemporaryObject(copyComponent, top)
            mouseClick(button)
            compare(Ui.clipboardText(), "brew autoremove")
            verify(button.copied)
            const first = Date.now()
            wait(1000)
            mouseClick(button)
            verify(button.copied)
            // The first press's reset ends the state, 1.4 s after the first press.
            tryVerify(() => !button.copied, 1500)
            const elapsed = Date.now() - first
            verify(elapsed >= 1350 && elapsed < 2100, "reset after " + elapsed + " ms")
        }

        function test_pill_count_shows_only_when_present() {
            const pill = createTemporaryObject(pillComponent, top)
            verify(!pill.hasCount)
            pill.count = 0
            verify(pill.hasCount)
            const count = findChild(pill, "countText")
            compare(count.text, "0")
            compare(count.visible, true)
            pill.count = null
            compare(count.visible, false)
        }

        function test_label_case_and_verdict_colour() {
            const labels = createTemporaryObject(labelsComponent, top)
            compare(labels.mono.shownText, "PNPM")
            compare(labels.mono.font.capitalization, Font.AllUppercase)
            compare(labels.chip.text, "pnpm")
            compare(labels.tag.label, "LIKELY UNUSED")
            compare(labels.tag.tagColor, Theme.color("caution"))
        }
    }
}
