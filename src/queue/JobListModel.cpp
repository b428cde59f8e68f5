#include "queue/JobListModel.h"

JobListModel::JobListModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

int JobListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_jobs.size());
}

QVariant JobListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const QJob &job = m_jobs.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case TitleRole: return job.title;
    case IdRole: return job.id.toString(QUuid::WithoutBraces);
    case StateRole: return rawValue(job.state);
    case ProgressRole: return job.progress;
    case DetailRole: return job.detail;
    case SymbolRole: return job.kind.symbol();
    case FinishedRole: return job.finished();
    case WaitReasonRole: return job.state == JobState::waiting ? m_waitReasons.value(job.id) : QString();
    default: return {};
    }
}

QHash<int, QByteArray> JobListModel::roleNames() const
{
    return {
        {IdRole, "jobId"},         {TitleRole, "title"},       {StateRole, "state"},
        {ProgressRole, "progress"}, {DetailRole, "detail"},     {SymbolRole, "symbol"},
        {FinishedRole, "finished"}, {WaitReasonRole, "waitReason"},
    };
}

int JobListModel::indexOf(const QUuid &id) const
{
    for (int i = 0; i < m_jobs.size(); ++i)
        if (m_jobs.at(i).id == id)
            return i;
    return -1;
}

void JobListModel::append(const QJob &job)
{
    beginInsertRows({}, int(m_jobs.size()), int(m_jobs.size()));
    m_jobs.append(job);
    endInsertRows();
}

void JobListModel::removeAt(int row)
{
    beginRemoveRows({}, row, row);
    m_jobs.removeAt(row);
    endRemoveRows();
}

void JobListModel::moveUp(int row)
{
    Q_ASSERT(row > 0 && row < m_jobs.size());
    beginMoveRows({}, row, row, {}, row - 1);
    m_jobs.swapItemsAt(row, row - 1);
    endMoveRows();
}

void JobListModel::setWaitReasons(const QHash<QUuid, QString> &reasons)
{
    m_waitReasons = reasons;
    if (!m_jobs.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_jobs.size()) - 1), {WaitReasonRole});
}
