#pragma once
// The in-memory burn log: the newest line first, at most `capacity` lines.
// Main thread only. The file keeps every line; this list forgets the oldest.

#include <QAbstractListModel>
#include <QString>
#include <QUuid>
#include <QtQmlIntegration/qqmlintegration.h>

struct LogLine
{
    QUuid id;
    QString time; // "HH:mm:ss", local time
    QString text;
    QString detail; // a tool's own words behind `text`, shown smaller under it; often empty
    bool operator==(const LogLine &) const = default;
};

class LogModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The burn log belongs to the application model")
    Q_PROPERTY(int count READ rowCount NOTIFY countChanged)

public:
    static constexpr int capacity = 500;
    enum Role { IdRole = Qt::UserRole + 1, TimeRole, TextRole, DetailRole };

    explicit LogModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Puts `line` on top and drops the oldest line past the capacity.
    void prepend(const LogLine &line);
    const QList<LogLine> &lines() const { return m_lines; }
    // The lines oldest first, each "HH:mm:ss  text", joined by line feeds;
    // a detail follows its line on a line of its own, indented under the text.
    QString chronologicalText() const;

Q_SIGNALS:
    void countChanged();

private:
    QList<LogLine> m_lines;
};
