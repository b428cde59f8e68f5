import QtQuick
import Tandor
import Tandor.App

// The open and save dialogs of the menus and screens. Each call opens its
// dialog and returns at once; `done(path)` runs only when the user chooses
// something, with the chosen local path.
Item {
    id: panels
    required property AppModel app

    readonly property string defaultImageMessage: "Choose a disc image (ISO, DMG or CDR)"

    function chooseImage(message, done) {
        const patterns = []
        for (const ext of WindowRules.imageExtensions)
            patterns.push("*." + ext)
        chooser.open(FileChooser.OpenFile, {
            title: message || defaultImageMessage,
            filters: ["Disc images (" + patterns.join(" ") + ")", "All files (*)"]
        }, done)
    }
    // Several audio files at once; `done(paths)` gets them in the chosen order.
    function chooseAudioFiles(done) {
        chooser.open(FileChooser.OpenFiles, {
            title: "Choose WAV, AIFF, MP3, M4A or FLAC files for this disc",
            filters: ["Audio files (*.wav *.wave *.aif *.aiff *.aifc *.mp3 *.m4a *.flac)", "All files (*)"]
        }, done)
    }
    function chooseFile(message, done) {
        chooser.open(FileChooser.OpenFile, { title: message }, done)
    }
    function chooseFolder(message, done) {
        chooser.open(FileChooser.OpenFolder, { title: message }, done)
    }
    // `format` is "ISO" or "DMG". The dialog opens beside `near` (the folder
    // the image is made from), else in Documents when there is one, else home.
    function saveImage(name, format, done, near) {
        const ext = format.toLowerCase()
        saveFile("Where should the " + format + " image be saved?", name + "." + ext,
                 [format + " image (*." + ext + ")"], near || "", done)
    }
    function saveLog() {
        saveFile("Save a copy of the burn log", "KLVO Tandor Log.txt", ["Text files (*.txt)", "All files (*)"], "",
                 path => panels.app.saveLogCopy(path))
    }
    // A save dialog proposing `name` in the folder of `near` (see
    // WindowRules.dialogFolder); a name typed without a suffix gets `name`'s.
    function saveFile(title, name, filters, near, done) {
        chooser.open(FileChooser.SaveFile, {
            title: title,
            name: name,
            filters: filters,
            folder: WindowRules.dialogFolder(near)
        }, done)
    }

    FileChooser {
        id: chooser
        objectName: "fileChooser"
    }
}
