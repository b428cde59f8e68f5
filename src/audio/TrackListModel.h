#pragma once
// The tracks of one disc project as a list the screens bind to: one row per
// track in burn order, with its title (editable), performer and ISRC, its
// seconds, its length as "m:ss" and a note when the file ends early.
//
// Threading: main thread only, like the project it shows.
//
// Ownership: the model holds its project weakly. It never owns it; when the
// project is destroyed the model becomes empty and `project` null.
//
// Keeping in step: every change of the project's tracks reaches the model as
// the smallest row change that explains it (rows inserted, removed, a row
// moved past its neighbour, data changed), so views keep their delegates and
// an edit in progress survives changes elsewhere in the list.

#include "audio/DiscProject.h"

#include <QAbstractListModel>
#include <QPointer>

class TrackListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(DiscProject *project READ project WRITE setProject NOTIFY projectChanged)

public:
    enum Role {
        TitleRole = Qt::UserRole + 1, // string, editable; also Qt::DisplayRole and Qt::EditRole
        SecondsRole,                  // double
        LengthTextRole,               // fmt(seconds), "3:07"
        NoteRole,                     // what is wrong with the file, or empty
        PerformerRole,                // string; empty: the disc's artist
        IsrcRole,                     // string, as stored (no hyphens)
    };
    Q_ENUM(Role)

    explicit TrackListModel(QObject *parent = nullptr);

    DiscProject *project() const { return m_project; }
    void setProject(DiscProject *project);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Renames the track through its project; only the title is editable.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    void projectChanged();

private:
    void sync();
    void projectGone();

    QPointer<DiscProject> m_project;
    QList<TrackItem> m_rows; // what the views were last told
};
