#pragma once
// What the about window and the Help menu's web link show: the product, its
// version, what it does, the engine it burns with and the maker's address.
// A QML singleton, one per engine; its values never change while it runs.

#include <QObject>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

class KLVOAbout : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString productName READ productName CONSTANT)
    Q_PROPERTY(QString version READ version CONSTANT)
    Q_PROPERTY(QString summary READ summary CONSTANT)
    Q_PROPERTY(QString engine READ engine CONSTANT)
    Q_PROPERTY(QString makerName READ makerName CONSTANT)
    Q_PROPERTY(QString makerUrl READ makerUrl CONSTANT)

public:
    explicit KLVOAbout(QObject *parent = nullptr);

    QString productName() const { return QStringLiteral("KLVO Tandor"); }
    // The application's version, or the one it was built as when none is set.
    QString version() const;
    QString summary() const;
    // "libburn " and the version of the libburn it runs with.
    QString engine() const;
    QString makerName() const;
    QString makerUrl() const;
};
