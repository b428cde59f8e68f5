#pragma once
// The queue's jobs as a list model for the screens, in queue order. It holds
// the list itself; only JobQueue changes it. Main thread only.

#include "queue/Job.h"

#include <QAbstractListModel>
#include <QHash>

class JobListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        TitleRole,
        StateRole,     // "Waiting", "Running", ...
        ProgressRole,
        DetailRole,
        SymbolRole,
        FinishedRole,
        WaitReasonRole, // why a waiting job waits; empty otherwise
    };
    Q_ENUM(Role)

    explicit JobListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<QJob> &jobs() const { return m_jobs; }
    int indexOf(const QUuid &id) const;
    const QJob &at(int row) const { return m_jobs.at(row); }

    void append(const QJob &job);
    void removeAt(int row);
    // Moves row `row` one place up.
    void moveUp(int row);
    // Applies `change` to the job in `row` and announces it.
    template<typename Change>
    void change(int row, Change change)
    {
        change(m_jobs[row]);
        const QModelIndex at = index(row);
        Q_EMIT dataChanged(at, at);
    }
    void setWaitReasons(const QHash<QUuid, QString> &reasons);

private:
    QList<QJob> m_jobs;
    QHash<QUuid, QString> m_waitReasons;
};
