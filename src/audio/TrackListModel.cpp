#include "audio/TrackListModel.h"

#include "base/Format.h"

TrackListModel::TrackListModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

void TrackListModel::setProject(DiscProject *project)
{
    if (project == m_project)
        return;
    if (m_project)
        m_project->disconnect(this);
    beginResetModel();
    m_project = project;
    m_rows = project ? project->tracks() : QList<TrackItem>();
    endResetModel();
    if (project) {
        connect(project, &DiscProject::tracksChanged, this, &TrackListModel::sync);
        connect(project, &QObject::destroyed, this, &TrackListModel::projectGone);
    }
    Q_EMIT projectChanged();
}

void TrackListModel::projectGone()
{
    beginResetModel();
    m_project = nullptr;
    m_rows.clear();
    endResetModel();
    Q_EMIT projectChanged();
}

int TrackListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant TrackListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const TrackItem &track = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case TitleRole:
        return track.title;
    case SecondsRole:
        return track.seconds;
    case LengthTextRole:
        return fmt(track.seconds);
    case NoteRole:
        return track.endsEarly() ? QStringLiteral("Ends early — only ") + fmt(track.seconds) + QStringLiteral(" of ")
                                       + fmt(track.headerSeconds) + QStringLiteral(" can be read.")
                                 : QString();
    case PerformerRole:
        return track.performer;
    case IsrcRole:
        return track.isrc;
    default:
        return {};
    }
}

bool TrackListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) || !m_project)
        return false;
    if (role != Qt::EditRole && role != TitleRole)
        return false;
    // The project tells us back through tracksChanged, and sync() emits dataChanged.
    m_project->rename(index.row(), value.toString());
    return true;
}

Qt::ItemFlags TrackListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractListModel::flags(index);
    if (index.isValid())
        f |= Qt::ItemIsEditable | Qt::ItemNeverHasChildren;
    return f;
}

QHash<int, QByteArray> TrackListModel::roleNames() const
{
    return {
        {TitleRole, "title"},
        {SecondsRole, "seconds"},
        {LengthTextRole, "lengthText"},
        {NoteRole, "note"},
        {PerformerRole, "performer"},
        {IsrcRole, "isrc"},
    };
}

void TrackListModel::sync()
{
    const QList<TrackItem> now = m_project ? m_project->tracks() : QList<TrackItem>();
    const qsizetype oldCount = m_rows.size();
    const qsizetype newCount = now.size();

    // The rows that kept their place at either end; the change lies between.
    qsizetype head = 0;
    while (head < oldCount && head < newCount && m_rows[head].id == now[head].id)
        ++head;
    qsizetype tail = 0;
    while (tail < oldCount - head && tail < newCount - head
           && m_rows[oldCount - 1 - tail].id == now[newCount - 1 - tail].id)
        ++tail;
    const qsizetype oldMiddle = oldCount - head - tail;
    const qsizetype newMiddle = newCount - head - tail;

    if (oldMiddle == 2 && newMiddle == 2 && m_rows[head].id == now[head + 1].id
        && m_rows[head + 1].id == now[head].id) {
        // A swap with the neighbour, as the arrow buttons do.
        const int row = int(head);
        beginMoveRows({}, row + 1, row + 1, {}, row);
        m_rows.swapItemsAt(head, head + 1);
        endMoveRows();
    } else {
        if (oldMiddle > 0) {
            beginRemoveRows({}, int(head), int(head + oldMiddle - 1));
            m_rows.remove(head, oldMiddle);
            endRemoveRows();
        }
        if (newMiddle > 0) {
            beginInsertRows({}, int(head), int(head + newMiddle - 1));
            for (qsizetype i = 0; i < newMiddle; ++i)
                m_rows.insert(head + i, now[head + i]);
            endInsertRows();
        }
    }

    // Same rows in the same order now; what remains is changed fields.
    for (qsizetype i = 0; i < newCount; ++i) {
        if (m_rows[i] != now[i]) {
            m_rows[i] = now[i];
            const QModelIndex at = index(int(i));
            Q_EMIT dataChanged(at, at);
        }
    }
}
