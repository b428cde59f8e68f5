import QtQuick
import QtQuick.Controls
import Tandor.App

// The page, laid out at the design width for the zoom and drawn scaled from
// its top-left corner, in a view that scrolls when the scaled page is bigger
// than the window.
Flickable {
    id: host
    required property AppModel app
    // The page; the host sets its width, the page its own height.
    default property alias page: pageItem.data

    readonly property real zoom: app.zoom.value
    readonly property real designWidth: WindowRules.designWidth(width, zoom)
    // The page's height at zoom 1, as last laid out.
    readonly property real contentNaturalHeight: pageItem.childrenRect.height

    contentWidth: Math.ceil(pageItem.width * zoom)
    contentHeight: Math.ceil(pageItem.height * zoom)
    clip: true
    boundsBehavior: Flickable.StopAtBounds
    // Dragging belongs to the controls; the page moves with the wheel and the bars.
    interactive: false

    ScrollBar.vertical: ScrollBar {
        policy: host.contentHeight > host.height + 1 ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
    }
    ScrollBar.horizontal: ScrollBar {
        policy: host.contentWidth > host.width + 1 ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
    }

    WheelHandler {
        acceptedDevices: PointerDevice.Mouse | PointerDevice.TouchPad
        onWheel: event => {
            const dy = event.pixelDelta.y !== 0 ? event.pixelDelta.y : event.angleDelta.y / 120 * 60
            const dx = event.pixelDelta.x !== 0 ? event.pixelDelta.x : event.angleDelta.x / 120 * 60
            host.contentY = Math.max(0, Math.min(host.contentHeight - host.height, host.contentY - dy))
            host.contentX = Math.max(0, Math.min(host.contentWidth - host.width, host.contentX - dx))
        }
    }

    Item {
        id: pageItem
        width: host.designWidth
        // The page's own offset is kept as a margin below it too.
        height: childrenRect.y * 2 + childrenRect.height
        scale: host.zoom
        transformOrigin: Item.TopLeft
    }

    function toTop() {
        contentX = 0
        contentY = 0
    }

    // The window never shows a new screen or zoom part-way down the page.
    Connections {
        target: host.app
        function onTabChanged() { host.toTop() }
    }
    Connections {
        target: host.app.zoom
        function onValueChanged() { host.toTop() }
    }
    Component.onCompleted: toTop()
}
