import QtQuick
import QtQuick.Window
import QtQuick.Controls.Basic as Basic
import Tandor.Help
import Tandor.Kit

// The help window: one for the whole program, created once and kept (only
// hidden) when closed, so every show() reuses it. Its frame is remembered
// under "KLVOHelpWindow" in the program's settings.
Window {
    id: window

    // The topic on the right; always a known id once shown.
    property string topicId: ""
    readonly property var topic: help.topic(topicId)
    readonly property alias topics: help
    readonly property alias searchText: search.text

    // The text sizes are pixels at the usual 96 dpi; point sizes carry the
    // half pixel the paragraphs need.
    readonly property real pixelPoints: 0.75
    readonly property real headingSize: 15 * pixelPoints
    readonly property real paragraphSize: 13.5 * pixelPoints

    property bool placed: false

    // The accent, unless it is too pale to show on a light theme's panels.
    readonly property color mark: !Chrome.palette.isLight || Chrome.palette.accent.hslLightness < 0.65
                                  ? Chrome.palette.accent : Chrome.palette.dimText

    // Opens the window on a topic: "" or an unknown id opens the first one.
    // Each call starts a fresh viewer: the search is cleared.
    function show(requested) {
        search.text = ""
        select(help.resolve(requested === undefined || requested === null ? "" : String(requested)))
        if (!placed)
            place()
        if (visibility === Window.Minimized)
            showNormal()
        else if (!visible)
            visible = true
        raise()
        requestActivate()
        search.forceActiveFocus()
    }

    function select(id) {
        if (id === "")
            return
        topicId = id
        list.currentIndex = help.indexOf(id)
        // After the rows have their wrapped heights, or the view lands off.
        Qt.callLater(list.reveal)
        reader.contentY = 0
    }

    // The first time: the saved frame when there is one, else centred; either
    // way kept on the screen.
    function place() {
        placed = true
        let saved = frame.load()
        if (saved.width > 0) {
            width = Math.max(saved.width, minimumWidth)
            height = Math.max(saved.height, minimumHeight)
            x = saved.x
            y = saved.y
        } else {
            x = Screen.virtualX + (Screen.width - width) / 2
            y = Screen.virtualY + (Screen.height - height) / 2
        }
        x = Math.max(Screen.virtualX, Math.min(x, Screen.virtualX + Screen.width - width))
        y = Math.max(Screen.virtualY, Math.min(y, Screen.virtualY + Screen.height - height))
    }

    function saveFrame() {
        if (!placed || !visible || visibility !== Window.Windowed)
            return
        frame.save(Qt.rect(x, y, width, height))
    }

    // A window of its own, not one kept over the main window.
    transientParent: null
    title: Chrome.appName + " Help"
    width: 860
    height: 600
    minimumWidth: 680
    minimumHeight: 440
    visible: false
    color: Chrome.palette.windowBottom

    onXChanged: saveFrame()
    onYChanged: saveFrame()
    onWidthChanged: saveFrame()
    onHeightChanged: saveFrame()

    SavedFrame {
        id: frame
        name: "KLVOHelpWindow"
    }

    HelpModel {
        id: help
        query: search.text
        // The list is rebuilt on every search; once the view has caught up,
        // keep the topic when it is still listed, else show the first result.
        // With no result the text stays.
        onModelReset: Qt.callLater(window.resync)
    }

    function resync() {
        let row = help.indexOf(topicId)
        if (row < 0 && help.count > 0)
            select(help.idAt(0))
        else
            list.currentIndex = row
    }

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0; color: Chrome.palette.windowTop }
            GradientStop { position: 1; color: Chrome.palette.windowBottom }
        }
    }

    // Left: the search field over the list of topics.
    Rectangle {
        id: side
        width: 260
        anchors { left: parent.left; top: parent.top; bottom: parent.bottom }
        gradient: Gradient {
            GradientStop { position: 0; color: Chrome.palette.panelTop }
            GradientStop { position: 1; color: Chrome.palette.panelBottom }
        }

        Rectangle {
            anchors { right: parent.right; top: parent.top; bottom: parent.bottom }
            width: 1
            color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.18) : Qt.rgba(1, 1, 1, 0.10)
        }

        Basic.TextField {
            id: search
            objectName: "helpSearch"
            anchors { left: parent.left; right: parent.right; top: parent.top; margins: 12; rightMargin: 13 }
            placeholderText: "Search help"
            placeholderTextColor: Chrome.palette.dimText
            color: Chrome.palette.text
            selectionColor: window.mark
            selectedTextColor: Chrome.palette.isLight ? "white" : "black"
            font.pixelSize: 13
            leftPadding: 30
            rightPadding: 8
            topPadding: 7
            bottomPadding: 7
            Accessible.name: "Search help"
            Accessible.searchEdit: true

            background: Rectangle {
                radius: 8
                color: Chrome.palette.isLight ? Qt.rgba(1, 1, 1, 0.75) : Qt.rgba(0, 0, 0, 0.35)
                border.width: 1
                border.color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.22) : Qt.rgba(1, 1, 1, 0.12)
                Icon {
                    symbol: "magnifyingglass"
                    size: 16
                    color: Chrome.palette.dimText
                    x: 8
                    anchors.verticalCenter: parent.verticalCenter
                }
                Rectangle {
                    visible: search.activeFocus
                    anchors.fill: parent
                    anchors.margins: -3
                    radius: 11
                    color: "transparent"
                    border.width: 2
                    border.color: window.mark
                }
            }

            Keys.onDownPressed: list.moveBy(1)
            Keys.onUpPressed: list.moveBy(-1)
            Keys.onReturnPressed: list.forceActiveFocus()
            Keys.onEscapePressed: text = ""
        }

        ListView {
            id: list
            objectName: "helpList"
            anchors { left: parent.left; right: parent.right; top: search.bottom; bottom: parent.bottom
                      topMargin: 10; bottomMargin: 8; leftMargin: 8; rightMargin: 9 }
            clip: true
            model: help
            currentIndex: -1
            spacing: 1
            keyNavigationEnabled: true
            activeFocusOnTab: true
            boundsBehavior: Flickable.StopAtBounds
            highlightMoveDuration: 0
            Accessible.role: Accessible.List
            Accessible.name: "Help topics"

            function reveal() {
                if (currentIndex >= 0)
                    positionViewAtIndex(currentIndex, ListView.Contain)
            }

            // Moves the selection from the search field or the list itself.
            function moveBy(step) {
                if (count === 0)
                    return
                let row = Math.max(0, Math.min(count - 1, currentIndex + step))
                window.select(help.idAt(row))
            }

            Keys.onUpPressed: moveBy(-1)
            Keys.onDownPressed: moveBy(1)

            Basic.ScrollBar.vertical: Basic.ScrollBar { policy: Basic.ScrollBar.AsNeeded }

            delegate: Rectangle {
                id: row
                required property int index
                required property string id
                required property string title
                readonly property bool current: ListView.isCurrentItem

                width: ListView.view.width
                height: label.implicitHeight + 12
                radius: 6
                color: current ? Qt.rgba(window.mark.r, window.mark.g, window.mark.b,
                                         list.activeFocus ? 0.42 : 0.28)
                               : rowMouse.containsMouse ? (Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.06)
                                                                                 : Qt.rgba(1, 1, 1, 0.06))
                                                        : "transparent"
                border.width: current ? 1 : 0
                border.color: window.mark

                Accessible.role: Accessible.ListItem
                Accessible.name: title
                Accessible.selectable: true
                Accessible.selected: current
                Accessible.onPressAction: window.select(id)

                Text {
                    id: label
                    anchors { left: parent.left; right: parent.right; verticalCenter: parent.verticalCenter
                              leftMargin: 8; rightMargin: 8 }
                    text: row.title
                    wrapMode: Text.Wrap
                    font.pixelSize: 13
                    font.weight: row.current ? Font.DemiBold : Font.Normal
                    color: Chrome.palette.text
                }
                MouseArea {
                    id: rowMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    onClicked: {
                        window.select(row.id)
                        list.forceActiveFocus()
                    }
                }
            }
        }

        Text {
            objectName: "helpNothingFound"
            visible: help.emptyText !== ""
            text: help.emptyText
            anchors { left: list.left; right: list.right; top: list.top; margins: 8 }
            wrapMode: Text.Wrap
            font.pixelSize: 13
            color: Chrome.palette.dimText
        }
    }

    // Right: the topic's title and text.
    Flickable {
        id: reader
        objectName: "helpReader"
        anchors { left: side.right; right: parent.right; top: parent.top; bottom: parent.bottom }
        contentWidth: width
        contentHeight: page.height + 48
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        Basic.ScrollBar.vertical: Basic.ScrollBar { policy: Basic.ScrollBar.AsNeeded }

        Column {
            id: page
            x: 28
            y: 22
            width: reader.width - 56
            spacing: 8

            Text {
                objectName: "helpTitle"
                width: parent.width
                text: window.topic.title ?? ""
                wrapMode: Text.Wrap
                font.pixelSize: 22
                font.bold: true
                color: Chrome.palette.text
                bottomPadding: 4
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }

            Repeater {
                model: window.topic.blocks ?? []
                delegate: Loader {
                    required property var modelData
                    // What the loaded block shows (it reads its parent's).
                    readonly property string text: modelData.text
                    width: page.width
                    sourceComponent: modelData.kind === "heading" ? heading
                                   : modelData.kind === "bullet" ? bullet : paragraph
                }
            }
        }
    }

    Component {
        id: heading
        Text {
            objectName: "helpHeading"
            text: parent ? parent.text : ""
            width: parent ? parent.width : 0
            topPadding: 6
            wrapMode: Text.Wrap
            font.pointSize: window.headingSize
            font.bold: true
            color: Chrome.palette.text
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
    }

    Component {
        id: paragraph
        TextEdit {
            objectName: "helpParagraph"
            text: parent ? parent.text : ""
            width: parent ? parent.width : 0
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            font.pointSize: window.paragraphSize
            color: Chrome.palette.text
            selectionColor: window.mark
            selectedTextColor: Chrome.palette.isLight ? "white" : "black"
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }

    Component {
        id: bullet
        Item {
            id: bulletRow
            objectName: "helpBullet"
            readonly property string text: parent ? parent.text : ""
            width: parent ? parent.width : 0
            implicitHeight: Math.max(mark.y + mark.height, words.height)
            height: implicitHeight
            Accessible.role: Accessible.StaticText
            Accessible.name: words.text

            Text {
                id: mark
                text: "•"
                x: 4
                // Sits on the first line's baseline of the text beside it.
                y: words.y + words.baselineOffset - baselineOffset
                font.pointSize: window.paragraphSize
                font.bold: true
                color: window.mark
                Accessible.ignored: true
            }
            TextEdit {
                id: words
                x: mark.x + mark.implicitWidth + 8
                width: parent.width - x
                text: bulletRow.text
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.Wrap
                font.pointSize: window.paragraphSize
                color: Chrome.palette.text
                selectionColor: window.mark
                selectedTextColor: Chrome.palette.isLight ? "white" : "black"
                Accessible.ignored: true
            }
        }
    }
}
