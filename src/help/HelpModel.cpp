#include "help/HelpModel.h"

HelpModel::HelpModel(QObject *parent)
    : HelpModel(KLVOHelp::allTopics(), parent)
{
}

HelpModel::HelpModel(const QList<KLVOHelpTopic> &topics, QObject *parent)
    : QAbstractListModel(parent)
    , m_topics(topics)
    , m_results(topics)
{
}

int HelpModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_results.size());
}

QVariant HelpModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const KLVOHelpTopic &t = m_results.at(index.row());
    switch (role) {
    case IdRole:
        return t.id;
    case TitleRole:
    case Qt::DisplayRole:
        return t.title;
    default:
        return {};
    }
}

QHash<int, QByteArray> HelpModel::roleNames() const
{
    return {{IdRole, "id"}, {TitleRole, "title"}};
}

void HelpModel::setQuery(const QString &query)
{
    if (query == m_query)
        return;
    const QString empty = emptyText();
    m_query = query;
    const QList<KLVOHelpTopic> results = KLVOHelp::search(query, m_topics);
    if (results != m_results) {
        // The results are a short list that changes as a whole; a reset is
        // simplest for the view, which re-selects its topic by id afterwards.
        beginResetModel();
        m_results = results;
        endResetModel();
        Q_EMIT resultsChanged();
    }
    Q_EMIT queryChanged();
    if (emptyText() != empty)
        Q_EMIT emptyTextChanged();
}

QString HelpModel::emptyText() const
{
    if (!m_results.isEmpty() || m_query.trimmed().isEmpty())
        return {};
    return QStringLiteral("Nothing found for \"%1\"").arg(m_query);
}

QString HelpModel::firstId() const
{
    return m_topics.isEmpty() ? QString() : m_topics.first().id;
}

int HelpModel::indexOf(const QString &id) const
{
    for (qsizetype i = 0; i < m_results.size(); ++i)
        if (m_results.at(i).id == id)
            return int(i);
    return -1;
}

QString HelpModel::idAt(int row) const
{
    return row >= 0 && row < m_results.size() ? m_results.at(row).id : QString();
}

QString HelpModel::resolve(const QString &id) const
{
    for (const KLVOHelpTopic &t : m_topics)
        if (t.id == id)
            return id;
    return firstId();
}

QVariantMap HelpModel::topic(const QString &id) const
{
    for (const KLVOHelpTopic &t : m_topics) {
        if (t.id != id)
            continue;
        QVariantList blocks;
        for (const KLVOHelp::Block &b : KLVOHelp::parse(t.body)) {
            const char *kind = b.kind == KLVOHelp::Block::Kind::heading  ? "heading"
                               : b.kind == KLVOHelp::Block::Kind::bullet ? "bullet"
                                                                          : "paragraph";
            blocks.append(QVariantMap{{QStringLiteral("kind"), QString::fromLatin1(kind)},
                                      {QStringLiteral("text"), b.text}});
        }
        return {{QStringLiteral("id"), t.id}, {QStringLiteral("title"), t.title},
                {QStringLiteral("blocks"), blocks}};
    }
    return {};
}
