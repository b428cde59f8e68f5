import QtQuick
import QtQuick.Window
import Tandor.Help
import Tandor.Kit

// The about box: product, version, what it does, the burning engine and the
// maker's web page. Created once by its owner and kept when closed.
Window {
    id: about

    property bool placed: false

    // Brings the box up, centred on the screen the first time.
    function show() {
        if (!placed) {
            placed = true
            x = Screen.virtualX + (Screen.width - width) / 2
            y = Screen.virtualY + (Screen.height - height) / 3
        }
        if (visibility === Window.Minimized)
            showNormal()
        else if (!visible)
            visible = true
        raise()
        requestActivate()
    }

    title: "About " + KLVOAbout.productName
    width: 440
    height: 350
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    flags: Qt.Dialog | Qt.WindowTitleHint | Qt.WindowCloseButtonHint
    visible: false
    color: Chrome.palette.windowBottom

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0; color: Chrome.palette.windowTop }
            GradientStop { position: 1; color: Chrome.palette.windowBottom }
        }
    }

    Column {
        anchors { left: parent.left; right: parent.right; top: parent.top; margins: 28 }
        spacing: 10

        DiscGraphic {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 96
            height: 96
            progress: 1
            Accessible.ignored: true
        }

        Text {
            objectName: "aboutName"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: KLVOAbout.productName
            font.pixelSize: 24
            font.bold: true
            font.letterSpacing: 1
            color: Chrome.palette.text
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }

        Text {
            objectName: "aboutVersion"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: "Version " + KLVOAbout.version
            font.pixelSize: 13
            color: Chrome.palette.dimText
        }

        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: KLVOAbout.summary
            wrapMode: Text.Wrap
            font.pixelSize: 13
            lineHeight: 1.15
            color: Chrome.palette.text
        }

        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: "Burns with " + KLVOAbout.engine
            font.pixelSize: 12
            color: Chrome.palette.dimText
        }

        Item { width: 1; height: 4 }

        ChromeButton {
            objectName: "aboutMakerLink"
            anchors.horizontalCenter: parent.horizontalCenter
            text: KLVOAbout.makerUrl.replace(/^https?:\/\//, "")
            symbol: "link"
            compact: true
            help: "Opens the maker's web page in your browser"
            Accessible.name: "Open " + KLVOAbout.makerName + " web page"
            onClicked: Qt.openUrlExternally(KLVOAbout.makerUrl)
        }
    }
}
