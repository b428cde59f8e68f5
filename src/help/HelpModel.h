#pragma once
// The help viewer's list: the topics that match the search field, and the
// text of any topic as blocks the viewer lays out.
//
// Main thread only (a list model of the viewer). It owns a copy of its topic
// list; searching is done on the spot, as the lists are a few dozen topics.

#include "help/HelpTopics.h"

#include <QAbstractListModel>
#include <QVariantMap>
#include <QtQmlIntegration/qqmlintegration.h>

class HelpModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    // The search text; each change re-runs the search.
    Q_PROPERTY(QString query READ query WRITE setQuery NOTIFY queryChanged)
    Q_PROPERTY(int count READ count NOTIFY resultsChanged)
    // What the list says when a search found nothing; empty otherwise.
    Q_PROPERTY(QString emptyText READ emptyText NOTIFY emptyTextChanged)
    // The topic shown when none (or an unknown one) is asked for.
    Q_PROPERTY(QString firstId READ firstId CONSTANT)

public:
    enum Role { IdRole = Qt::UserRole + 1, TitleRole };

    // Every topic of the program and the kit.
    explicit HelpModel(QObject *parent = nullptr);
    HelpModel(const QList<KLVOHelpTopic> &topics, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    QString query() const { return m_query; }
    void setQuery(const QString &query);
    int count() const { return int(m_results.size()); }
    QString emptyText() const;
    QString firstId() const;

    // Row of the topic among the current results, or -1.
    Q_INVOKABLE int indexOf(const QString &id) const;
    // Id of the result at `row`, or "" outside the list.
    Q_INVOKABLE QString idAt(int row) const;
    // `id` when such a topic exists, else firstId.
    Q_INVOKABLE QString resolve(const QString &id) const;
    // {id, title, blocks: [{kind: "heading"|"bullet"|"paragraph", text}]} of
    // any topic, searched or not; an empty map for an unknown id.
    Q_INVOKABLE QVariantMap topic(const QString &id) const;

Q_SIGNALS:
    void queryChanged();
    void resultsChanged();
    void emptyTextChanged();

private:
    QList<KLVOHelpTopic> m_topics;
    QList<KLVOHelpTopic> m_results;
    QString m_query;
};
