import QtQuick
import QtQuick.Layouts
import Tandor
import Tandor.App
import Tandor.Kit

// MD5 and SHA-256 of any file, compared with a pasted checksum.
Card {
    id: card
    required property AppModel app
    required property Panels panels
    readonly property ChecksumModel dp: app.checksums
    readonly property var sums: dp.sums
    readonly property bool hasSums: sums.sha256 !== undefined
    readonly property string verdict: dp.verdict
    readonly property bool matched: verdict.startsWith("MATCH")
    readonly property bool mismatched: verdict.startsWith("NO MATCH")

    // The first unfinished checksum job for the chosen file, by its title.
    readonly property string jobTitle: dp.file !== "" ? "Checksums of " + dp.file.split("/").pop() : ""
    readonly property var job: {
        if (jobTitle === "")
            return null
        for (let i = 0; i < jobs.count; ++i) {
            const j = jobs.objectAt(i)
            if (j && j.title === jobTitle && !j.finished)
                return j
        }
        return null
    }

    title: "Checksums (MD5 and SHA-256)"
    symbol: "number.square.fill"
    helpTopic: "checksums"

    Instantiator {
        id: jobs
        model: card.app.queue.jobs
        delegate: QtObject {
            required property string title
            required property bool finished
            required property real progress
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        PathWell {
            Layout.fillWidth: true
            path: card.dp.file
            placeholder: "No file chosen — any image or file"
            symbol: "doc"
        }
        ChromeButton {
            text: "Choose File…"
            onClicked: card.panels.chooseFile("Choose an image (or any file) to check", path => card.dp.checksum(path))
        }
    }
    ColumnLayout {
        objectName: "checksumProgress"
        visible: card.job !== null
        Layout.fillWidth: true
        spacing: 4
        GlowBar {
            Layout.fillWidth: true
            value: card.job ? card.job.progress : 0
        }
        Hint {
            objectName: "checksumProgressText"
            text: "Working out the checksums… " + Math.floor((card.job ? card.job.progress : 0) * 100) + "%"
        }
    }
    GridLayout {
        objectName: "sumRows"
        visible: card.hasSums
        Layout.fillWidth: true
        columns: 2
        columnSpacing: 10
        rowSpacing: 6
        Text { text: "MD5"; color: Chrome.palette.dimText; font.pixelSize: 11; font.weight: Font.Bold }
        LCDChip {
            objectName: "md5Value"
            Layout.fillWidth: true
            clip: true
            pixelSize: 11
            text: card.hasSums ? card.sums.md5 : ""
        }
        Text { text: "SHA-256"; color: Chrome.palette.dimText; font.pixelSize: 11; font.weight: Font.Bold }
        LCDChip {
            objectName: "sha256Value"
            Layout.fillWidth: true
            clip: true
            pixelSize: 11
            text: card.hasSums ? card.sums.sha256 : ""
        }
        Text { text: "SIZE"; color: Chrome.palette.dimText; font.pixelSize: 11; font.weight: Font.Bold }
        LCDChip {
            objectName: "sizeValue"
            Layout.fillWidth: true
            clip: true
            pixelSize: 11
            text: card.hasSums ? card.sizeText : ""
        }
    }
    Text {
        Layout.fillWidth: true
        text: "Compare with a checksum from a website or a .sha256 file:"
        color: Chrome.palette.text
        font.pixelSize: 12
        wrapMode: Text.Wrap
    }
    TDTextField {
        objectName: "expectedField"
        Layout.fillWidth: true
        placeholderText: "Paste an MD5 or SHA-256 here"
        text: card.dp.expected
        onTextEdited: card.dp.expected = text
    }
    RowLayout {
        objectName: "verdictLine"
        visible: card.verdict !== ""
        Layout.fillWidth: true
        spacing: 6
        Icon {
            objectName: "verdictIcon"
            visible: card.matched || card.mismatched
            symbol: card.matched ? "checkmark.seal.fill" : "xmark.octagon.fill"
            color: verdictText.color
            size: 16
        }
        Text {
            id: verdictText
            objectName: "verdictText"
            Layout.fillWidth: true
            text: card.verdict
            color: card.matched ? Chrome.palette.ok : card.mismatched ? Chrome.palette.stop : Chrome.palette.dimText
            font.pixelSize: 12
            font.weight: card.matched || card.mismatched ? Font.Bold : Font.Normal
            wrapMode: Text.Wrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
    RowLayout {
        Layout.alignment: Qt.AlignRight
        spacing: 8
        ChromeButton {
            objectName: "copySha256Button"
            text: "Copy SHA-256"
            enabled: card.hasSums
            onClicked: {
                clipboard.text = card.sums.sha256
                clipboard.selectAll()
                clipboard.copy()
                clipboard.text = ""
            }
        }
        ChromeButton {
            objectName: "saveSumsButton"
            text: "Save .sha256 File…"
            enabled: card.hasSums
            onClicked: card.panels.saveFile("Save the checksums next to the image so anyone can check it later",
                                            card.dp.saveName(), ["Checksum files (*.sha256)", "All files (*)"],
                                            card.dp.file, path => card.dp.save(path))
        }
    }

    readonly property string sizeText: hasSums ? sums.bytesText + " (" + sums.bytes + " bytes)" : ""

    // Qt Quick has no clipboard of its own; a hidden editor copies for us.
    TextEdit {
        id: clipboard
        visible: false
        Layout.preferredHeight: 0
        Layout.preferredWidth: 0
    }
}
