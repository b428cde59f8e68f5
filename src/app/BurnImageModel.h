#pragma once
// The "Burn a disc image" card: the chosen image and what it turned out to
// be, the decks to burn on, the burn options, and Burn. Images the make and
// copy cards queue are burned with the same decks and options when
// "Then burn it" (burnAfter, one choice both cards show) is on.
//
// Threading: main thread only. A chosen image is looked at on a worker and
// the answer comes back on the main thread; a newer choice drops an older
// answer.
//
// Ownership: the application model makes this model its child, so the
// application outlives it. Every refusal is one line of the burn log.

#include "images/ImageInfo.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <QVariant>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>

class AppModel;

class BurnImageModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The burn-image card's model belongs to the application model")
    Q_PROPERTY(QString image READ image NOTIFY imageChanged)
    Q_PROPERTY(bool hasImage READ hasImage NOTIFY imageChanged)
    // {formatName, bytes, bytesText, fitsOn, isUDIF, isRaw, sha256Checkable, sha256Note, volumeName, warning};
    // empty when not a disc image. `bytes` is what the disc takes (a sheet's tracks). `warning` is
    // ImageInfo::warning(), `sha256Note` why the SHA-256 check can't be done; each empty when there is nothing to say.
    Q_PROPERTY(QVariantMap imageInfo READ imageInfoMap NOTIFY imageInfoChanged)
    // Why the chosen image can't be burned, as a sentence; empty when it can or hasn't been looked at yet.
    Q_PROPERTY(QString problem READ problem NOTIFY imageInfoChanged)
    Q_PROPERTY(QList<int> targets READ targets WRITE setTargets NOTIFY targetsChanged)
    Q_PROPERTY(QList<int> targetList READ targetList NOTIFY targetsChanged)
    Q_PROPERTY(bool test READ test WRITE setTest NOTIFY testChanged)
    Q_PROPERTY(bool verify READ verify WRITE setVerify NOTIFY verifyChanged)
    Q_PROPERTY(bool checksumCheck READ checksumCheck WRITE setChecksumCheck NOTIFY checksumCheckChanged)
    Q_PROPERTY(bool burnAfter READ burnAfter WRITE setBurnAfter NOTIFY burnAfterChanged)

public:
    // `app` is the parent; its decks, demo flag, queue and log are used.
    explicit BurnImageModel(AppModel *app);

    QString image() const { return m_image; }
    bool hasImage() const { return !m_image.isEmpty(); }
    const std::optional<ImageInfo> &imageInfo() const { return m_imageInfo; }
    QVariantMap imageInfoMap() const;
    QString problem() const { return m_problem; }
    QList<int> targets() const { return m_targets; }
    // Kept sorted, without repeats or decks that don't exist.
    void setTargets(const QList<int> &decks);
    // `targets` that are shown and have a burner (any deck in demo mode).
    QList<int> targetList() const;
    bool test() const { return m_test; }
    void setTest(bool on);
    bool verify() const { return m_verify; }
    void setVerify(bool on);
    bool checksumCheck() const { return m_checksumCheck; }
    void setChecksumCheck(bool on);
    bool burnAfter() const { return m_burnAfter; }
    void setBurnAfter(bool on);

    // Chooses the image to burn; it is looked at on a worker, and a file that
    // is not a disc image is logged when that is known (imageInfoChanged).
    Q_INVOKABLE void setImage(const QString &path);
    // Queues a burn of the image on each of targetList(); while the image
    // is still being looked at, once that is done.
    Q_INVOKABLE void burn();
    // `job` will make the image `output`. With burnAfter on, queues a burn of
    // it on each of targetList() but `skipDeck`, each waiting for `job`.
    void burnWhenMade(const QString &output, const QUuid &job, std::optional<int> skipDeck);
    // Queues a burn of the existing `image` on each of targetList() but
    // `skipDeck`, whatever burnAfter says (Copy Anyway).
    void burnCopy(const QString &image, std::optional<int> skipDeck);

Q_SIGNALS:
    void imageChanged();
    void imageInfoChanged();
    void targetsChanged();
    void testChanged();
    void verifyChanged();
    void checksumCheckChanged();
    void burnAfterChanged();

private:
    bool targetUsable(int deck) const;
    void burnOn(const QString &output, const std::optional<QUuid> &job, std::optional<int> skipDeck);

    AppModel *m_app;
    QString m_image;
    std::optional<ImageInfo> m_imageInfo;
    QString m_problem;
    quint64 m_imageLook = 0; // which setImage() the pending look belongs to
    bool m_looking = false;
    bool m_burnWhenLooked = false; // burn() came while the image was looked at
    QList<int> m_targets{0, 1};
    bool m_test = false;
    bool m_verify = true;
    bool m_checksumCheck = true;
    bool m_burnAfter = false;
};
