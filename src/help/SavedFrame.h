#pragma once
// A window's frame kept in the program's settings under a name of its own
// (the help window uses "KLVOHelpWindow"), so the window comes back where the
// user left it, also after a restart.
//
// Main thread only. Uses the application's default settings store; writes go
// to QSettings' cache at once and reach the disk when QSettings syncs.

#include <QObject>
#include <QRect>
#include <QRectF>
#include <QSettings>
#include <QtQmlIntegration/qqmlintegration.h>

class SavedFrame : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)

public:
    explicit SavedFrame(QObject *parent = nullptr);

    QString name() const { return m_name; }
    void setName(const QString &name);

    // The saved frame, or an empty rectangle when none is saved or it is
    // smaller than 100 × 100 (a frame nobody could use).
    Q_INVOKABLE QRect load() const;
    // Rounded to whole pixels.
    Q_INVOKABLE void save(const QRectF &frame);

Q_SIGNALS:
    void nameChanged();

private:
    QString key() const { return m_name + QStringLiteral("/frame"); }

    QString m_name;
    QSettings m_settings;
};
