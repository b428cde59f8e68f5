import QtQuick
import QtQuick.Dialogs
import Tandor.App

// The open and save dialogs of the menus and screens. Each call opens its
// dialog and returns at once; `done(path)` runs only when the user chooses
// something, with the chosen local path.
Item {
    id: panels
    required property AppModel app

    readonly property string defaultImageMessage: "Choose a disc image (ISO, DMG or CDR)"

    function chooseImage(message, done) {
        imageDialog.run(message || defaultImageMessage, done)
    }
    // Several audio files at once; `done(paths)` gets them in the chosen order.
    function chooseAudioFiles(done) {
        audioDialog.done = done
        audioDialog.open()
    }
    function chooseFile(message, done) {
        fileDialog.run(message, done)
    }
    function chooseFolder(message, done) {
        folderDialog.title = message
        folderDialog.done = done
        folderDialog.open()
    }
    // `format` is "ISO" or "DMG". The dialog opens beside `near` (the folder
    // the image is made from), else in Documents when there is one, else home.
    function saveImage(name, format, done, near) {
        const ext = format.toLowerCase()
        saveImageDialog.nameFilters = [format + " image (*." + ext + ")"]
        saveImageDialog.defaultSuffix = ext
        saveImageDialog.currentFolder = WindowRules.dialogFolder(near || "")
        saveImageDialog.selectedFile = saveImageDialog.currentFolder + "/" + encodeURIComponent(name + "." + ext)
        saveImageDialog.run("Where should the " + format + " image be saved?", done)
    }
    function saveLog() {
        logDialog.currentFolder = WindowRules.dialogFolder("")
        logDialog.selectedFile = logDialog.currentFolder + "/" + encodeURIComponent("KLVO Tandor Log.txt")
        logDialog.run("Save a copy of the burn log", path => panels.app.saveLogCopy(path))
    }

    component PathDialog: FileDialog {
        property var done: null
        function run(message, callback) {
            title = message
            done = callback
            open()
        }
        onAccepted: {
            const path = WindowRules.localPath(selectedFile)
            const callback = done
            done = null
            if (path !== "" && callback)
                callback(path)
        }
        onRejected: done = null
    }

    PathDialog {
        id: imageDialog
        objectName: "imageDialog"
        fileMode: FileDialog.OpenFile
        nameFilters: {
            const patterns = []
            for (let i = 0; i < WindowRules.imageExtensions.length; ++i)
                patterns.push("*." + WindowRules.imageExtensions[i])
            return ["Disc images (" + patterns.join(" ") + ")", "All files (*)"]
        }
    }
    PathDialog {
        id: fileDialog
        objectName: "fileDialog"
        fileMode: FileDialog.OpenFile
    }
    PathDialog {
        id: saveImageDialog
        objectName: "saveImageDialog"
        fileMode: FileDialog.SaveFile
    }
    PathDialog {
        id: logDialog
        objectName: "logDialog"
        fileMode: FileDialog.SaveFile
        nameFilters: ["Text files (*.txt)", "All files (*)"]
        defaultSuffix: "txt"
    }
    FileDialog {
        id: audioDialog
        objectName: "audioDialog"
        property var done: null
        title: "Choose WAV, AIFF, MP3, M4A or FLAC files for this disc"
        fileMode: FileDialog.OpenFiles
        nameFilters: ["Audio files (*.wav *.wave *.aif *.aiff *.aifc *.mp3 *.m4a *.flac)", "All files (*)"]
        onAccepted: {
            const paths = []
            for (const url of selectedFiles) {
                const path = WindowRules.localPath(url)
                if (path !== "")
                    paths.push(path)
            }
            const callback = done
            done = null
            if (paths.length > 0 && callback)
                callback(paths)
        }
        onRejected: done = null
    }
    FolderDialog {
        id: folderDialog
        objectName: "folderDialog"
        property var done: null
        onAccepted: {
            const path = WindowRules.localPath(selectedFolder)
            const callback = done
            done = null
            if (path !== "" && callback)
                callback(path)
        }
        onRejected: done = null
    }
}
