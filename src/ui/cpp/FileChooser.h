#pragma once
// The open, save and folder dialogs for QML, through Qt Widgets' QFileDialog:
// the desktop's own chooser where the platform theme or the portal gives one,
// Qt's widget dialog otherwise. Qt 6.4's Quick fallback dialogs drop typed
// names, return the first sub-folder of a typed folder and take one file at a
// time, so they are not used.
//
// Threading: main thread only; needs a QApplication. One dialog at a time:
// it is window-modal to the window the chooser is declared in, and opening
// another cancels the one that is open.

#include <QJSValue>
#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <QtQmlIntegration/qqmlintegration.h>

class QFileDialog;
class QWindow;

class FileChooser : public QObject
{
    Q_OBJECT
    QML_ELEMENT

public:
    enum Mode { OpenFile, OpenFiles, OpenFolder, SaveFile };
    Q_ENUM(Mode)

    using QObject::QObject;
    ~FileChooser() override;

    // Opens a dialog and returns at once. `done` runs only when the user
    // chooses: with the local path, or for OpenFiles with the paths in the
    // order chosen. `options`: "title"; "filters", name filters such as
    // "Text files (*.txt)"; "folder", where it opens (a file URL or a path);
    // "name", the file name a save dialog proposes, whose suffix is the
    // one added to a name typed without one.
    Q_INVOKABLE void open(FileChooser::Mode mode, const QVariantMap &options, const QJSValue &done);

private:
    void finish(QFileDialog *dialog, bool accepted);
    QWindow *hostWindow() const;

    QPointer<QFileDialog> m_dialog;
    QJSValue m_done;
};
