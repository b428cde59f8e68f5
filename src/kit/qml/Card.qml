import QtQuick
import QtQuick.Layouts
import Tandor.Kit

// A brushed-metal panel with a title line (symbol, title, help button) over
// its content, which is laid out in a column.
Item {
    id: card
    property string title
    property string symbol
    // The help topic the title's help button opens; "" hides the button.
    property string helpTopic
    property real padding: 14
    // Stretch the content to the card's height (for a Layout.fillHeight child).
    property bool fillContent: false
    property alias spacing: body.spacing
    // Extra controls at the right end of the title line.
    property alias accessory: accessoryRow.data
    default property alias content: body.data

    implicitWidth: Math.max(header.implicitWidth, body.implicitWidth) + 2 * padding
    implicitHeight: header.implicitHeight + 10 + body.implicitHeight + 2 * padding

    Accessible.role: Accessible.Grouping
    Accessible.name: title

    // A soft drop shadow.
    Rectangle {
        anchors.fill: plate
        anchors.topMargin: 2
        anchors.bottomMargin: -3
        radius: plate.radius + 1
        color: Qt.rgba(0, 0, 0, Chrome.palette.isLight ? 0.12 : 0.45)
    }
    Rectangle {
        id: plate
        anchors.fill: parent
        radius: 12
        gradient: PanelGradient {}
        border.width: 1
        border.color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.16) : Qt.rgba(1, 1, 1, 0.10)
        // The lit top edge of the plate.
        Rectangle {
            x: plate.radius; y: 1
            width: parent.width - 2 * plate.radius
            height: 1
            color: Qt.rgba(1, 1, 1, Chrome.palette.isLight ? 0.9 : 0.16)
        }
    }

    RowLayout {
        id: header
        anchors { left: parent.left; right: parent.right; top: parent.top; margins: card.padding }
        spacing: 8
        Icon {
            visible: card.symbol !== ""
            symbol: card.symbol
            size: 18
            color: Chrome.palette.isLight ? Chrome.palette.text : Chrome.palette.lcdText
        }
        Text {
            Layout.fillWidth: true
            text: card.title
            color: Chrome.palette.text
            font.pixelSize: 15
            font.weight: Font.Bold
            elide: Text.ElideRight
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
        Row {
            id: accessoryRow
            spacing: 6
            Layout.alignment: Qt.AlignVCenter
        }
        IconButton {
            id: helpButton
            objectName: "helpButton"
            visible: card.helpTopic !== ""
            symbol: "questionmark.circle"
            help: "Help: " + card.title
            color: Chrome.palette.dimText
            onClicked: Chrome.showHelp(card.helpTopic)
        }
    }
    Rectangle {
        anchors { left: parent.left; right: parent.right; top: header.bottom; topMargin: 5; leftMargin: card.padding; rightMargin: card.padding }
        height: 1
        color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.10) : Qt.rgba(1, 1, 1, 0.08)
    }

    ColumnLayout {
        id: body
        anchors { left: parent.left; right: parent.right; top: header.bottom; leftMargin: card.padding; rightMargin: card.padding; topMargin: 10 }
        // Taller cards than their content keep it at the top unless told to stretch it.
        height: card.fillContent ? card.height - y - card.padding : implicitHeight
        spacing: 10
    }
}
