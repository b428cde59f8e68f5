#include "FileChooser.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QJSEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QUrl>
#include <QWindow>

FileChooser::~FileChooser()
{
    // Closing with the window answers nobody: the callbacks' engine is going.
    if (m_dialog) {
        m_dialog->disconnect(this);
        delete m_dialog;
    }
}

void FileChooser::open(Mode mode, const QVariantMap &options, const QJSValue &done)
{
    if (m_dialog)
        m_dialog->reject();
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        qWarning("FileChooser: file dialogs need a QApplication");
        return;
    }
    auto *dialog = new QFileDialog(nullptr, options.value(QStringLiteral("title")).toString());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // A remote place would reach the engine as a name it cannot open.
    dialog->setSupportedSchemes({QStringLiteral("file")});
    switch (mode) {
    case OpenFile:
        dialog->setFileMode(QFileDialog::ExistingFile);
        break;
    case OpenFiles:
        dialog->setFileMode(QFileDialog::ExistingFiles);
        break;
    case OpenFolder:
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        break;
    case SaveFile:
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        break;
    }
    const QStringList filters = options.value(QStringLiteral("filters")).toStringList();
    if (!filters.isEmpty())
        dialog->setNameFilters(filters);
    const QVariant folder = options.value(QStringLiteral("folder"));
    if (folder.isValid()) {
        const QUrl url = folder.toUrl();
        dialog->setDirectory(url.isLocalFile() ? url.toLocalFile() : folder.toString());
    }
    const QString name = options.value(QStringLiteral("name")).toString();
    if (!name.isEmpty()) {
        dialog->setDefaultSuffix(QFileInfo(name).suffix());
        dialog->selectFile(name);
    }

    m_done = done;
    m_dialog = dialog;
    connect(dialog, &QDialog::finished, this,
            [this, dialog](int result) { finish(dialog, result == QDialog::Accepted); });
    // Modal to the window only, as a sheet would be; the transient parent
    // keeps it above that window and lets the desktop's chooser centre on it.
    if (QWindow *host = hostWindow()) {
        dialog->setWindowModality(Qt::WindowModal);
        dialog->winId();
        dialog->windowHandle()->setTransientParent(host);
    } else {
        dialog->setWindowModality(Qt::ApplicationModal);
    }
    dialog->open();
}

void FileChooser::finish(QFileDialog *dialog, bool accepted)
{
    if (dialog != m_dialog)
        return;
    m_dialog = nullptr;
    const QJSValue done = std::exchange(m_done, QJSValue());
    if (!accepted || !done.isCallable())
        return;
    // Some choosers hand back bare paths, others file URLs; both arrive here
    // as paths, and anything else is left out.
    QStringList paths;
    for (const QString &file : dialog->selectedFiles()) {
        if (QDir::isAbsolutePath(file))
            paths.append(QDir::cleanPath(file));
    }
    if (paths.isEmpty())
        return;
    QJSEngine *engine = qjsEngine(this);
    if (!engine)
        return;
    const QJSValue argument = dialog->fileMode() == QFileDialog::ExistingFiles ? engine->toScriptValue(paths)
                                                                               : QJSValue(paths.first());
    const QJSValue result = done.call({argument});
    if (result.isError())
        qWarning("FileChooser: %s", qPrintable(result.toString()));
}

QWindow *FileChooser::hostWindow() const
{
    for (QObject *up = parent(); up; up = up->parent()) {
        if (auto *item = qobject_cast<QQuickItem *>(up))
            return item->window();
        if (auto *window = qobject_cast<QWindow *>(up))
            return window;
    }
    return nullptr;
}
