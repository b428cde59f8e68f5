#pragma once
// What the user has chosen on the Data & ISO and Checksums & Mount screens,
// and the actions there: each becomes a queued job, except mounting and
// ejecting, which happen at once. Every refusal is one line of the burn log.
//
// Threading: main thread only. Anything that touches the disk (looking at a
// chosen image, listing discs, mounting, ejecting, saving a checksum file)
// runs on a worker and reports back on the main thread; only unmountAll(),
// called as the program quits, waits for its work.
//
// Ownership: the application model owns this model and is held weakly; when
// it is gone every operation does nothing. The job queue fills `sums` and
// `lastVerify` when those jobs end.

#include "images/Checksums.h"
#include "images/DiscReader.h"
#include "images/ImageInfo.h"
#include "images/Mounter.h"
#include "images/Verifier.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QtQmlIntegration/qqmlintegration.h>

#include <functional>
#include <optional>

class AppModel;

class DataPanelModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The data panel belongs to the application model")
    Q_PROPERTY(QString image READ image NOTIFY imageChanged)
    Q_PROPERTY(bool hasImage READ hasImage NOTIFY imageChanged)
    // {formatName, bytes, bytesText, fitsOn, isUDIF, isRaw, volumeName, warning}; empty when not a
    // disc image. `warning` is ImageInfo::warning(), empty when there is nothing to warn about.
    Q_PROPERTY(QVariantMap imageInfo READ imageInfoMap NOTIFY imageInfoChanged)
    Q_PROPERTY(QList<int> targets READ targets WRITE setTargets NOTIFY targetsChanged)
    Q_PROPERTY(QList<int> targetList READ targetList NOTIFY targetsChanged)
    Q_PROPERTY(bool test READ test WRITE setTest NOTIFY testChanged)
    Q_PROPERTY(bool verify READ verify WRITE setVerify NOTIFY verifyChanged)
    Q_PROPERTY(bool checksumCheck READ checksumCheck WRITE setChecksumCheck NOTIFY checksumCheckChanged)
    Q_PROPERTY(QString folder READ folder NOTIFY folderChanged)
    Q_PROPERTY(QString format READ formatId WRITE setFormatId NOTIFY formatChanged)
    Q_PROPERTY(QString formatExplanation READ formatExplanation NOTIFY formatChanged)
    Q_PROPERTY(QString volume READ volume WRITE setVolume NOTIFY volumeChanged)
    Q_PROPERTY(bool checkAfter READ checkAfter WRITE setCheckAfter NOTIFY checkAfterChanged)
    Q_PROPERTY(bool burnAfter READ burnAfter WRITE setBurnAfter NOTIFY burnAfterChanged)
    // [{bsdName, label, volumeName, device}]
    Q_PROPERTY(QVariantList discs READ discsList NOTIFY discsChanged)
    Q_PROPERTY(QString discBSD READ discBSD WRITE setDiscBSD NOTIFY discBSDChanged)
    Q_PROPERTY(QString sumFile READ sumFile NOTIFY sumFileChanged)
    // {md5, sha256, bytes, bytesText}; empty until worked out.
    Q_PROPERTY(QVariantMap sums READ sumsMap NOTIFY sumsChanged)
    Q_PROPERTY(QString expected READ expected WRITE setExpected NOTIFY expectedChanged)
    // The verdict on `expected` against `sums`; empty while either is missing.
    Q_PROPERTY(QString verdict READ verdict NOTIFY verdictChanged)
    Q_PROPERTY(QString verifyImage READ verifyImage WRITE setVerifyImage NOTIFY verifyImageChanged)
    Q_PROPERTY(QString verifyAgainst READ verifyAgainst WRITE setVerifyAgainst NOTIFY verifyAgainstChanged)
    // {match, summary}; empty when there is no result.
    Q_PROPERTY(QVariantMap lastVerify READ lastVerifyMap NOTIFY lastVerifyChanged)
    // [{image, name, device, mountPoints}]
    Q_PROPERTY(QVariantList mounted READ mountedList NOTIFY mountedChanged)
    Q_PROPERTY(int eraseDeck READ eraseDeck WRITE setEraseDeck NOTIFY eraseDeckChanged)
    Q_PROPERTY(bool eraseComplete READ eraseComplete WRITE setEraseComplete NOTIFY eraseCompleteChanged)

public:
    explicit DataPanelModel(QObject *parent = nullptr);
    ~DataPanelModel() override;
    void setApp(AppModel *app);

    QString image() const { return m_image; }
    bool hasImage() const { return !m_image.isEmpty(); }
    const std::optional<ImageInfo> &imageInfo() const { return m_imageInfo; }
    QVariantMap imageInfoMap() const;
    QList<int> targets() const { return m_targets; }
    void setTargets(const QList<int> &decks);
    Q_INVOKABLE void toggleTarget(int deck);
    // `targets` in ascending order, only decks that are shown and have a
    // burner (any deck in demo mode).
    QList<int> targetList() const;
    bool test() const { return m_test; }
    void setTest(bool on);
    bool verify() const { return m_verify; }
    void setVerify(bool on);
    bool checksumCheck() const { return m_checksumCheck; }
    void setChecksumCheck(bool on);
    QString folder() const { return m_folder; }
    ImageFormat format() const { return m_format; }
    void setFormat(ImageFormat format);
    QString formatId() const { return ImageFormats::id(m_format); }
    void setFormatId(const QString &id);
    QString formatExplanation() const { return ImageFormats::explanation(m_format); }
    QString volume() const { return m_volume; }
    void setVolume(const QString &volume);
    bool checkAfter() const { return m_checkAfter; }
    void setCheckAfter(bool on);
    bool burnAfter() const { return m_burnAfter; }
    void setBurnAfter(bool on);
    const QList<DiscInfo> &discs() const { return m_discs; }
    QVariantList discsList() const;
    QString discBSD() const { return m_discBSD; }
    void setDiscBSD(const QString &bsd);
    QString sumFile() const { return m_sumFile; }
    const std::optional<Digests> &sums() const { return m_sums; }
    QVariantMap sumsMap() const;
    void setSums(const std::optional<Digests> &sums);
    QString expected() const { return m_expected; }
    void setExpected(const QString &text);
    QString verdict() const;
    QString verifyImage() const { return m_verifyImage; }
    void setVerifyImage(const QString &path);
    QString verifyAgainst() const { return m_verifyAgainst; }
    void setVerifyAgainst(const QString &path);
    const std::optional<VerifyResult> &lastVerify() const { return m_lastVerify; }
    QVariantMap lastVerifyMap() const;
    void setLastVerify(const std::optional<VerifyResult> &result);
    const QList<MountedImage> &mounted() const { return m_mounted; }
    QVariantList mountedList() const;
    int eraseDeck() const { return m_eraseDeck; }
    void setEraseDeck(int deck);
    bool eraseComplete() const { return m_eraseComplete; }
    void setEraseComplete(bool on);

    // Chooses the image to burn; it is looked at on a worker, and a file that
    // is not a disc image is logged when that is known (imageInfoChanged).
    Q_INVOKABLE void setImage(const QString &path);
    // Chooses the folder for a new image. The volume name follows it when
    // empty or still the name made from the previous folder.
    Q_INVOKABLE void setFolder(const QString &path);
    Q_INVOKABLE void burnImage();
    Q_INVOKABLE void makeFromFolder(const QString &output);
    Q_INVOKABLE void makeFromDisc(const QString &output);
    // "Look for Discs": lists the discs on a worker, then logs what it found.
    Q_INVOKABLE void refreshDiscs();
    // The first look when the disc card is shown: the same, without a log line.
    Q_INVOKABLE void lookForDiscsQuietly();
    // What refreshDiscs() does with the list it found.
    void applyDiscs(const QList<DiscInfo> &found, bool logIt = true);
    Q_INVOKABLE void checksum(const QString &file);
    // Writes the shown checksums as a .sha256 file at `target` (chosen in a
    // save dialog), atomically, on a worker.
    Q_INVOKABLE void saveChecksums(const QString &target);
    Q_INVOKABLE void verifyNow();
    Q_INVOKABLE void erase();
    // Mounts read-only on a worker; logs and lists it when it is done.
    Q_INVOKABLE void mount(const QString &image, bool browse = true);
    // Ejects the mounted image listed at `index`, on a worker.
    Q_INVOKABLE void unmount(int index);
    // Opens a mounted image's first folder in the file manager again.
    Q_INVOKABLE void show(int index);
    // Ejects everything this model mounted, silently, and waits for it. For
    // the end of the program only.
    void unmountAll();

    // Names the save dialogs propose.
    Q_INVOKABLE QString folderImageName() const;
    Q_INVOKABLE QString discImageName() const;
    Q_INVOKABLE QString sumFileName() const;

    // How a mounted folder is opened; tests record instead of opening.
    void setFolderOpener(std::function<void(const QString &)> opener) { m_openFolder = std::move(opener); }

Q_SIGNALS:
    void imageChanged();
    void imageInfoChanged();
    void targetsChanged();
    void testChanged();
    void verifyChanged();
    void checksumCheckChanged();
    void folderChanged();
    void formatChanged();
    void volumeChanged();
    void checkAfterChanged();
    void burnAfterChanged();
    void discsChanged();
    void discBSDChanged();
    void sumFileChanged();
    void sumsChanged();
    void expectedChanged();
    void verdictChanged();
    void verifyImageChanged();
    void verifyAgainstChanged();
    void lastVerifyChanged();
    void mountedChanged();
    void eraseDeckChanged();
    void eraseCompleteChanged();
    // A save of checksums ended (the log says why when it failed).
    void checksumsSaved(const QString &target, bool ok);

private:
    void log(const QString &line, const QString &detail = {}) const;
    bool targetUsable(int deck) const;
    void addBurnsAfter(const QString &output, const QUuid &job, std::optional<int> skipDeck);
    QString deckLetter(int deck) const;
    // Runs `work` on a worker and `done` with its result on the main thread,
    // always from the event loop (never inside this call), unless this model
    // is gone by then.
    template<typename Work, typename Done>
    void offMain(Work work, Done done);

    QPointer<AppModel> m_app;
    QString m_image;
    std::optional<ImageInfo> m_imageInfo;
    quint64 m_imageLook = 0; // which setImage() the pending look belongs to
    QList<int> m_targets{0, 1};
    bool m_test = false;
    bool m_verify = true;
    bool m_checksumCheck = true;
    QString m_folder;
    ImageFormat m_format = ImageFormat::iso;
    QString m_volume;
    bool m_checkAfter = true;
    bool m_burnAfter = false;
    QList<DiscInfo> m_discs;
    QString m_discBSD;
    QString m_sumFile;
    std::optional<Digests> m_sums;
    QString m_expected;
    QString m_verifyImage;
    QString m_verifyAgainst;
    std::optional<VerifyResult> m_lastVerify;
    QList<MountedImage> m_mounted;
    int m_eraseDeck = 0;
    bool m_eraseComplete = false;
    std::function<void(const QString &)> m_openFolder;
};
