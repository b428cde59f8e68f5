import QtQuick
import QtTest
import Tandor.Kit

// What the controls do with clicks, keys and assistive technology.
Item {
    id: root
    width: 800; height: 600

    Component { id: chipsComponent; DeckChips { count: 4 } }
    Component { id: segmentsComponent; SegmentedControl { model: ["Quick", "Complete", "Other"]; onActivated: index => currentIndex = index } }
    Component { id: checkboxComponent; ChromeCheckbox { text: "Verify"; help: "Reads each disc back." } }
    Component { id: buttonComponent; ChromeButton { text: "Burn Image"; help: "Burns it." } }
    Component { id: iconButtonComponent; IconButton { symbol: "stop.circle"; help: "Cancel" } }
    Component { id: knobComponent; Knob { from: 0; to: 5; stepSize: 1; label: "Gap" } }
    Component { id: faderComponent; Fader { from: 0; to: 1; stepSize: 0.1 } }
    Component { id: barComponent; GlowBar { width: 200 } }
    Component { id: cardComponent; Card { width: 300; title: "Burn a disc image"; symbol: "flame.fill"; helpTopic: "burn-image" } }
    Component { id: spyComponent; SignalSpy {} }

    function chip(chips, letter) {
        for (let i = 0; i < chips.children.length; ++i)
            if (chips.children[i].text === letter)
                return chips.children[i]
        return null
    }
    function spyOn(target, signalName) {
        return tc.createTemporaryObject(spyComponent, root, { target: target, signalName: signalName })
    }

    TestCase {
        id: tc
        name: "Controls"
        when: windowShown

        function test_deckChipsToggleKeepsSortedUniqueIndices() {
            const chips = createTemporaryObject(chipsComponent, root, { selection: [2, 0, 2] })
            const edited = spyOn(chips, "edited")
            mouseClick(chip(chips, "B"))
            compare(chips.selection, [0, 1, 2])
            mouseClick(chip(chips, "A"))
            compare(chips.selection, [1, 2])
            mouseClick(chip(chips, "D"))
            compare(chips.selection, [1, 2, 3])
            mouseClick(chip(chips, "C"))
            mouseClick(chip(chips, "B"))
            mouseClick(chip(chips, "D"))
            compare(chips.selection, [])
            compare(edited.count, 6)
        }

        function test_deckChipsSingleModeChoosesOne() {
            const chips = createTemporaryObject(chipsComponent, root, { multi: false, current: 0 })
            mouseClick(chip(chips, "C"))
            compare(chips.current, 2)
            compare(chips.selection, [2])
            mouseClick(chip(chips, "C"))
            compare(chips.current, 2)
            chip(chips, "B").forceActiveFocus()
            keyClick(Qt.Key_Space)
            compare(chips.current, 1)
            compare(chips.selection, [1])
            verify(chips.isSelected(1) && !chips.isSelected(2))
        }

        function test_segmentedClickAndKeysClamp() {
            const seg = createTemporaryObject(segmentsComponent, root)
            const activated = spyOn(seg, "activated")
            waitForRendering(seg)
            mouseClick(seg, seg.segmentWidth * 2.5, seg.height / 2)
            compare(seg.currentIndex, 2)
            compare(activated.signalArguments[0][0], 2)
            verify(seg.activeFocus)
            keyClick(Qt.Key_Right)
            compare(seg.currentIndex, 2)
            compare(activated.count, 1)
            keyClick(Qt.Key_Left)
            compare(seg.currentIndex, 1)
            keyClick(Qt.Key_Home)
            compare(seg.currentIndex, 0)
            keyClick(Qt.Key_Left)
            compare(seg.currentIndex, 0)
            keyClick(Qt.Key_End)
            compare(seg.currentIndex, 2)
            compare(activated.count, 4)
            seg.model = []
            seg.select(1)
            compare(activated.count, 4)
        }

        // A click, Space and Enter each act once.
        function test_keysAndClicks_data() {
            return [
                { tag: "button", component: buttonComponent, signal: "clicked" },
                { tag: "checkbox", component: checkboxComponent, signal: "toggled" },
            ]
        }
        function test_keysAndClicks(data) {
            const control = createTemporaryObject(data.component, root)
            const acted = spyOn(control, data.signal)
            mouseClick(control)
            control.forceActiveFocus(Qt.TabFocusReason)
            keyClick(Qt.Key_Space)
            keyClick(Qt.Key_Return)
            compare(acted.count, 3)
            compare(!!control.checked, data.signal === "toggled")
        }

        // Keys and setValue() stop at both ends and snap to the step; only a
        // change reports moved().
        function test_valueClampsAndSnaps_data() {
            return [
                { tag: "knob", component: knobComponent, start: 4, to: 5, between: 2.6, snapped: 3 },
                { tag: "fader", component: faderComponent, start: 0.95, to: 1, between: 0.26, snapped: 0.3 },
            ]
        }
        function test_valueClampsAndSnaps(data) {
            const control = createTemporaryObject(data.component, root, { value: data.start })
            const moved = spyOn(control, "moved")
            control.forceActiveFocus()
            keyClick(Qt.Key_Up)
            keyClick(Qt.Key_Up)
            keyClick(Qt.Key_Right)
            fuzzyCompare(control.value, data.to, 1e-9)
            compare(moved.count, 1)
            for (let i = 0; i < 15; ++i)
                keyClick(Qt.Key_Down)
            compare(control.value, 0)
            keyClick(Qt.Key_End)
            compare(control.value, data.to)
            control.setValue(data.between)
            fuzzyCompare(control.value, data.snapped, 1e-9)
        }

        function test_glowBarStaysInItsTrack_data() {
            return [
                { tag: "above one", value: 1.7, fraction: 1 },
                { tag: "below zero", value: -0.5, fraction: 0 },
                { tag: "not a number", value: NaN, fraction: 0 },
                { tag: "half", value: 0.5, fraction: 0.5 },
            ]
        }
        function test_glowBarStaysInItsTrack(data) {
            const bar = createTemporaryObject(barComponent, root, { value: data.value })
            const fill = findChild(bar, "fill")
            verify(fill)
            compare(bar.position, data.fraction)
            verify(fill.x + fill.width <= bar.width)
            fuzzyCompare(fill.width, (bar.width - 2) * data.fraction, 0.5)
        }

        function test_cardHelpButtonAsksForItsTopic() {
            const card = createTemporaryObject(cardComponent, root)
            const asked = spyOn(Chrome, "helpRequested")
            const help = findChild(card, "helpButton")
            verify(help && help.visible)
            compare(access.name(help), "Help: Burn a disc image")
            mouseClick(help)
            compare(asked.count, 1)
            compare(asked.signalArguments[0][0], "burn-image")
            card.helpTopic = ""
            verify(!help.visible)
        }

        // Named after the label (an icon button after its help), and a
        // screen reader's action acts once.
        function test_screenReader_data() {
            return [
                { tag: "button", component: buttonComponent, name: "Burn Image", action: "Press", signal: "clicked" },
                { tag: "icon button", component: iconButtonComponent, name: "Cancel", action: "Press", signal: "clicked" },
                { tag: "checkbox", component: checkboxComponent, name: "Verify", action: "Toggle", signal: "toggled" },
            ]
        }
        function test_screenReader(data) {
            const control = createTemporaryObject(data.component, root)
            const acted = spyOn(control, data.signal)
            compare(access.name(control), data.name)
            verify(access.perform(control, data.action))
            compare(acted.count, 1)
        }
    }
}
