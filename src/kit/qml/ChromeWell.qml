import QtQuick
import QtQuick.Layouts
import Tandor.Kit

// An inset panel for lists and readouts; its content is laid out in a column.
Rectangle {
    id: well
    property real padding: 8
    // Stretch the content to the well's height (for a Layout.fillHeight child).
    property bool fillContent: false
    property alias spacing: column.spacing
    default property alias content: column.data

    implicitWidth: column.implicitWidth + 2 * padding
    implicitHeight: column.implicitHeight + 2 * padding
    radius: 10
    color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.06) : Qt.rgba(0, 0, 0, 0.30)
    border.width: 1
    border.color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.16) : Qt.rgba(1, 1, 1, 0.08)

    Rectangle {
        x: 1; y: 1
        width: parent.width - 2
        height: 8
        radius: well.radius
        gradient: Gradient {
            GradientStop { position: 0; color: Qt.rgba(0, 0, 0, Chrome.palette.isLight ? 0.10 : 0.35) }
            GradientStop { position: 1; color: "transparent" }
        }
    }
    ColumnLayout {
        id: column
        anchors { left: parent.left; right: parent.right; top: parent.top; margins: well.padding }
        height: well.fillContent ? well.height - 2 * well.padding : implicitHeight
        spacing: 6
    }
}
