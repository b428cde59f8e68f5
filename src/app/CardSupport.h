#pragma once
// What the application model and the card models behind the Data & ISO and
// Checksums & Mount screens share.
// Plain functions and a type; main thread, like those models.

#include <QFileInfo>
#include <QString>

#include <functional>

// Appends a line to the burn log, with a tool's own words behind it (may be
// empty). The application model hands one to each card model it makes.
using LogFn = std::function<void(const QString &text, const QString &detail)>;

// A file as log lines and job titles name it: its name without the folder.
inline QString fileNameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

// Stores a property's new value and signals, only when it changed.
template<typename Model, typename T>
void setField(Model *model, T &field, const T &value, void (Model::*changed)())
{
    if (field == value)
        return;
    field = value;
    Q_EMIT (model->*changed)();
}
