import QtQuick
import QtTest
import Tandor.Kit

// Builds every control in three themes; with KIT_SHOTS set, saves a picture of each.
Item {
    id: root
    width: 1120; height: 700

    Component { id: galleryComponent; Gallery {} }

    TestCase {
        name: "Gallery"
        when: windowShown

        function test_everyControlBuildsInEveryFinish_data() {
            return [{ tag: "midnight" }, { tag: "pearl" }, { tag: "gold" }, { tag: "hotpink" }, { tag: "navy" }]
        }
        function test_everyControlBuildsInEveryFinish(data) {
            Chrome.theme = data.tag
            const gallery = createTemporaryObject(galleryComponent, root)
            verify(gallery)
            findChild(gallery, "focused").forceActiveFocus(Qt.TabFocusReason)
            waitForRendering(gallery)
            const dir = access.shotDir()
            if (dir !== "")
                grabImage(gallery).save(dir + "/kit-" + data.tag + ".png")
            Chrome.theme = "midnight"
        }
    }
}
