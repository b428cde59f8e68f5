#include "app/LogModel.h"

LogModel::LogModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

int LogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

QVariant LogModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const LogLine &line = m_lines.at(index.row());
    switch (role) {
    case IdRole: return line.id.toString(QUuid::WithoutBraces);
    case TimeRole: return line.time;
    case TextRole:
    case Qt::DisplayRole: return line.text;
    case DetailRole: return line.detail;
    }
    return {};
}

QHash<int, QByteArray> LogModel::roleNames() const
{
    return {{IdRole, "lineId"}, {TimeRole, "time"}, {TextRole, "text"}, {DetailRole, "detail"}};
}

void LogModel::prepend(const LogLine &line)
{
    beginInsertRows({}, 0, 0);
    m_lines.prepend(line);
    endInsertRows();
    if (m_lines.size() > capacity) {
        const int last = int(m_lines.size()) - 1;
        beginRemoveRows({}, last, last);
        m_lines.removeLast();
        endRemoveRows();
    } else {
        Q_EMIT countChanged();
    }
}

QString LogModel::chronologicalText() const
{
    QStringList out;
    out.reserve(m_lines.size());
    for (auto it = m_lines.crbegin(); it != m_lines.crend(); ++it) {
        out.append(it->time + QStringLiteral("  ") + it->text);
        if (!it->detail.isEmpty())
            out.append(QString(it->time.size(), QLatin1Char(' ')) + QStringLiteral("    ") + it->detail);
    }
    return out.join(QLatin1Char('\n'));
}
