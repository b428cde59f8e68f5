#pragma once
// The interface zoom: one factor, 85 % to 200 %, kept in the settings.
// Main thread only; the settings store must outlive this object.

#include <QList>
#include <QObject>
#include <QSettings>
#include <QtQmlIntegration/qqmlintegration.h>

class KVZoom : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by the application model")
    Q_PROPERTY(double value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(QList<int> levels READ levels CONSTANT)

public:
    static constexpr double min = 0.85;
    static constexpr double max = 2.0;
    static inline const QString key = QStringLiteral("klvo.zoom");

    explicit KVZoom(QSettings *defaults, QObject *parent = nullptr);

    // Rounded to whole percent first, then held to min…max; 1.0 for NaN.
    static double clamp(double x);
    static QList<int> levels() { return {85, 100, 115, 130, 150, 175, 200}; }
    Q_INVOKABLE static QString levelTitle(int percent);

    // 1.0 when nothing (or 0) is saved.
    double value() const;
    // Saves clamp(x).
    void setValue(double x);

    // To the next level up or down, so the commands and the Zoom Level menu
    // land on the same steps; from between two levels, to the nearer one
    // that way; past the last level, nowhere.
    Q_INVOKABLE void zoomIn();
    Q_INVOKABLE void zoomOut();
    Q_INVOKABLE void actualSize() { setValue(1.0); }
    Q_INVOKABLE void setLevel(int percent) { setValue(percent / 100.0); }

Q_SIGNALS:
    void valueChanged();

private:
    QSettings *m_defaults;
};
