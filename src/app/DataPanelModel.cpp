#include "app/DataPanelModel.h"

#include "app/AppModel.h"
#include "base/Format.h"
#include "base/TDError.h"
#include "drives/Deck.h"
#include "drives/TDDetect.h"
#include "images/ImageMaker.h"
#include "platform/linux/FileManager.h"
#include "queue/JobQueue.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <type_traits>

namespace {

QString nameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

template<typename T>
void assign(DataPanelModel *model, T &field, const T &value, void (DataPanelModel::*changed)())
{
    if (field == value)
        return;
    field = value;
    Q_EMIT (model->*changed)();
}

// What a worker hands back: the value, or the error's text and the tool's
// own words behind it.
template<typename T>
struct Result
{
    std::optional<T> value;
    QString error;
    QString toolWords;
};

template<typename Fn>
auto attempt(Fn fn) -> Result<decltype(fn())>
{
    try {
        return {fn(), {}, {}};
    } catch (const TDError &e) {
        return {std::nullopt, e.text(), e.detail()};
    }
}

} // namespace

DataPanelModel::DataPanelModel(QObject *parent)
    : QObject(parent)
    , m_openFolder(&FileManager::openFolder)
{
    connect(this, &DataPanelModel::sumsChanged, this, &DataPanelModel::verdictChanged);
    connect(this, &DataPanelModel::expectedChanged, this, &DataPanelModel::verdictChanged);
}

DataPanelModel::~DataPanelModel() = default;

void DataPanelModel::setApp(AppModel *app)
{
    if (m_app)
        disconnect(m_app, nullptr, this, nullptr);
    m_app = app;
    // Which decks are shown, and which have a burner, decide which targets count.
    if (app) {
        connect(app, &AppModel::decksChanged, this, &DataPanelModel::targetsChanged);
        connect(app, &AppModel::demoChanged, this, &DataPanelModel::targetsChanged);
    }
}

void DataPanelModel::log(const QString &line, const QString &detail) const
{
    if (m_app)
        m_app->log(line, detail);
}

template<typename Work, typename Done>
void DataPanelModel::offMain(Work work, Done done)
{
    QPointer<DataPanelModel> self(this);
    using R = std::invoke_result_t<Work>;
    QtConcurrent::run(std::move(work)).then(this, [self, done = std::move(done)](R result) {
        // A worker that ends before the continuation is attached would have
        // it run inside this call; posting keeps `done` always for later.
        QMetaObject::invokeMethod(
            self.data(),
            [self, done, result = std::move(result)]() mutable {
                if (self)
                    done(std::move(result));
            },
            Qt::QueuedConnection);
    });
}

QString DataPanelModel::deckLetter(int deck) const
{
    return deckLetters[size_t(std::clamp(deck, 0, maxDecks - 1))];
}

// ---- fields

QVariantMap DataPanelModel::imageInfoMap() const
{
    if (!m_imageInfo)
        return {};
    return {
        {QStringLiteral("formatName"), m_imageInfo->formatName()},
        {QStringLiteral("bytes"), m_imageInfo->bytes},
        {QStringLiteral("bytesText"), fmtBytes(m_imageInfo->bytes)},
        {QStringLiteral("fitsOn"), m_imageInfo->fitsOn()},
        {QStringLiteral("isUDIF"), m_imageInfo->isUDIF},
        {QStringLiteral("isRaw"), m_imageInfo->isRaw()},
        {QStringLiteral("volumeName"), m_imageInfo->volumeName.value_or(QString())},
        {QStringLiteral("warning"), m_imageInfo->warning()},
    };
}

void DataPanelModel::setTargets(const QList<int> &decks)
{
    QList<int> sorted;
    for (int d : decks)
        if (d >= 0 && d < maxDecks && !sorted.contains(d))
            sorted.append(d);
    std::sort(sorted.begin(), sorted.end());
    assign(this, m_targets, sorted, &DataPanelModel::targetsChanged);
}

void DataPanelModel::toggleTarget(int deck)
{
    QList<int> next = m_targets;
    if (!next.removeOne(deck))
        next.append(deck);
    setTargets(next);
}

QList<int> DataPanelModel::targetList() const
{
    const int shown = m_app ? m_app->visibleCount() : 2;
    QList<int> out;
    for (int d : m_targets)
        if (d < shown && targetUsable(d))
            out.append(d);
    return out;
}

bool DataPanelModel::targetUsable(int deck) const
{
    // Demo burns need no burner; real ones would wait for ever on an empty deck.
    if (!m_app || m_app->demo())
        return true;
    const QList<Deck *> decks = m_app->decks();
    return deck >= 0 && deck < decks.size() && decks[deck]->hasDrive();
}

void DataPanelModel::setTest(bool on) { assign(this, m_test, on, &DataPanelModel::testChanged); }
void DataPanelModel::setVerify(bool on) { assign(this, m_verify, on, &DataPanelModel::verifyChanged); }
void DataPanelModel::setChecksumCheck(bool on) { assign(this, m_checksumCheck, on, &DataPanelModel::checksumCheckChanged); }
void DataPanelModel::setFormat(ImageFormat format) { assign(this, m_format, format, &DataPanelModel::formatChanged); }
void DataPanelModel::setVolume(const QString &volume) { assign(this, m_volume, volume, &DataPanelModel::volumeChanged); }
void DataPanelModel::setCheckAfter(bool on) { assign(this, m_checkAfter, on, &DataPanelModel::checkAfterChanged); }
void DataPanelModel::setBurnAfter(bool on) { assign(this, m_burnAfter, on, &DataPanelModel::burnAfterChanged); }
void DataPanelModel::setDiscBSD(const QString &bsd) { assign(this, m_discBSD, bsd, &DataPanelModel::discBSDChanged); }
void DataPanelModel::setExpected(const QString &text) { assign(this, m_expected, text, &DataPanelModel::expectedChanged); }
void DataPanelModel::setVerifyImage(const QString &path) { assign(this, m_verifyImage, path, &DataPanelModel::verifyImageChanged); }
void DataPanelModel::setVerifyAgainst(const QString &path) { assign(this, m_verifyAgainst, path, &DataPanelModel::verifyAgainstChanged); }
void DataPanelModel::setEraseDeck(int deck) { assign(this, m_eraseDeck, std::clamp(deck, 0, maxDecks - 1), &DataPanelModel::eraseDeckChanged); }
void DataPanelModel::setEraseComplete(bool on) { assign(this, m_eraseComplete, on, &DataPanelModel::eraseCompleteChanged); }
void DataPanelModel::setSums(const std::optional<Digests> &sums) { assign(this, m_sums, sums, &DataPanelModel::sumsChanged); }
void DataPanelModel::setLastVerify(const std::optional<VerifyResult> &result) { assign(this, m_lastVerify, result, &DataPanelModel::lastVerifyChanged); }

void DataPanelModel::setFormatId(const QString &id)
{
    if (const std::optional<ImageFormat> format = ImageFormats::fromId(id))
        setFormat(*format);
}

QVariantList DataPanelModel::discsList() const
{
    QVariantList out;
    for (const DiscInfo &disc : m_discs)
        out.append(QVariantMap{{QStringLiteral("bsdName"), disc.bsdName},
                               {QStringLiteral("label"), disc.label()},
                               {QStringLiteral("volumeName"), disc.volumeName.value_or(QString())},
                               {QStringLiteral("device"), disc.rawPath()}});
    return out;
}

QVariantMap DataPanelModel::sumsMap() const
{
    if (!m_sums)
        return {};
    return {{QStringLiteral("md5"), m_sums->md5},
            {QStringLiteral("sha256"), m_sums->sha256},
            {QStringLiteral("bytes"), m_sums->bytes},
            {QStringLiteral("bytesText"), fmtBytes(m_sums->bytes)}};
}

QString DataPanelModel::verdict() const
{
    if (m_expected.trimmed().isEmpty() || !m_sums)
        return {};
    return Checksums::verdict(Checksums::match(m_expected, *m_sums));
}

QVariantMap DataPanelModel::lastVerifyMap() const
{
    if (!m_lastVerify)
        return {};
    return {{QStringLiteral("match"), m_lastVerify->match}, {QStringLiteral("summary"), m_lastVerify->summary()}};
}

QVariantList DataPanelModel::mountedList() const
{
    QVariantList out;
    for (const MountedImage &m : m_mounted)
        out.append(QVariantMap{{QStringLiteral("image"), m.image},
                               {QStringLiteral("name"), nameOf(m.image)},
                               {QStringLiteral("device"), m.device},
                               {QStringLiteral("mountPoints"), m.mountPoints}});
    return out;
}

// ---- choosing

void DataPanelModel::setImage(const QString &path)
{
    const quint64 look = ++m_imageLook;
    if (m_image != path) {
        m_image = path;
        Q_EMIT imageChanged();
    }
    if (m_imageInfo) {
        m_imageInfo.reset();
        Q_EMIT imageInfoChanged();
    }
    if (path.isEmpty())
        return;
    offMain([path] { return ImageInfo::inspect(path); },
            [this, look, path](const std::optional<ImageInfo> &info) {
                if (look != m_imageLook)
                    return; // another image was chosen meanwhile
                if (!info) {
                    log(nameOf(path) + QStringLiteral(" doesn't look like a disc image (ISO, DMG or CDR)."));
                    return;
                }
                m_imageInfo = info;
                Q_EMIT imageInfoChanged();
            });
}

void DataPanelModel::setFolder(const QString &path)
{
    const QString before = m_folder;
    assign(this, m_folder, path, &DataPanelModel::folderChanged);
    // The name follows the folder until the user types one of their own.
    const bool fromFolder = m_volume.isEmpty()
                            || (!before.isEmpty() && m_volume == ImageMaker::volumeName(nameOf(before)));
    if (!path.isEmpty() && fromFolder)
        setVolume(ImageMaker::volumeName(nameOf(path)));
}

// ---- queued work

void DataPanelModel::burnImage()
{
    if (!m_app)
        return;
    if (m_image.isEmpty() || !m_imageInfo) {
        log(QStringLiteral("Choose a disc image to burn first (ISO, DMG or CDR)."));
        return;
    }
    const QList<int> decks = targetList();
    if (decks.isEmpty()) {
        log(QStringLiteral("Pick at least one deck to burn on."));
        return;
    }
    const bool compare = m_checksumCheck && m_imageInfo->isRaw();
    for (int d : decks) {
        const QString title = (m_test ? QStringLiteral("Test-burn ") : QStringLiteral("Burn ")) + nameOf(m_image)
            + QStringLiteral(" on Deck ") + deckLetter(d);
        m_app->queue()->add(Jobs::BurnImage{m_image, d, m_test, m_verify, compare}, title);
    }
}

void DataPanelModel::addBurnsAfter(const QString &output, const QUuid &job, std::optional<int> skipDeck)
{
    // The image doesn't exist yet, so the checksum choice goes by its name.
    const bool compare = m_checksumCheck && QFileInfo(output).suffix().toLower() != QLatin1String("dmg");
    for (int d : targetList()) {
        if (skipDeck == d)
            continue;
        m_app->queue()->add(Jobs::BurnImage{output, d, m_test, m_verify, compare},
                            QStringLiteral("Burn ") + nameOf(output) + QStringLiteral(" on Deck ") + deckLetter(d),
                            job);
    }
}

void DataPanelModel::makeFromFolder(const QString &output)
{
    if (!m_app)
        return;
    if (m_folder.isEmpty()) {
        log(QStringLiteral("Choose a folder first."));
        return;
    }
    const QString volume = ImageMaker::volumeName(m_volume.isEmpty() ? nameOf(m_folder) : m_volume);
    const std::optional<QUuid> job = m_app->queue()->add(
        Jobs::MakeImage{m_folder, output, m_format, volume, m_checkAfter},
        QStringLiteral("Make ") + nameOf(output) + QStringLiteral(" from “") + nameOf(m_folder) + QStringLiteral("”"));
    if (job && m_burnAfter)
        addBurnsAfter(output, *job, std::nullopt);
}

void DataPanelModel::makeFromDisc(const QString &output)
{
    if (!m_app)
        return;
    const auto disc = std::find_if(m_discs.cbegin(), m_discs.cend(),
                                   [&](const DiscInfo &d) { return !m_discBSD.isEmpty() && d.bsdName == m_discBSD; });
    if (disc == m_discs.cend()) {
        log(m_discs.isEmpty()
                ? QStringLiteral("No CD or DVD is in any drive. Insert the disc to copy, then click Look for Discs.")
                : QStringLiteral("Choose the disc to copy."));
        return;
    }
    std::optional<int> deck;
    for (const Deck *d : m_app->decks()) {
        if (d->snapshot() && d->snapshot()->bsdName == m_discBSD) {
            deck = d->index();
            break;
        }
    }
    const std::optional<QUuid> job =
        m_app->queue()->add(Jobs::ReadDisc{m_discBSD, deck, output},
                            QStringLiteral("Copy ") + disc->volumeName.value_or(QStringLiteral("disc"))
                                + QStringLiteral(" to ") + nameOf(output));
    if (job && m_burnAfter)
        addBurnsAfter(output, *job, deck);
}

void DataPanelModel::refreshDiscs()
{
    offMain([] { return DiscReader::opticalDiscs(); },
            [this](const QList<DiscInfo> &found) { applyDiscs(found, true); });
}

void DataPanelModel::lookForDiscsQuietly()
{
    if (!m_discs.isEmpty())
        return;
    offMain([] { return DiscReader::opticalDiscs(); },
            [this](const QList<DiscInfo> &found) {
                if (m_discs.isEmpty())
                    applyDiscs(found, false);
            });
}

void DataPanelModel::applyDiscs(const QList<DiscInfo> &found, bool logIt)
{
    if (m_discs != found) {
        m_discs = found;
        Q_EMIT discsChanged();
    }
    const bool stillThere = std::any_of(found.cbegin(), found.cend(),
                                        [&](const DiscInfo &d) { return d.bsdName == m_discBSD; });
    if (!stillThere)
        setDiscBSD(found.isEmpty() ? QString() : found.first().bsdName);
    if (!logIt)
        return;
    if (found.isEmpty()) {
        log(QStringLiteral("No CD or DVD found in any drive."));
        return;
    }
    QStringList labels;
    for (const DiscInfo &d : found)
        labels.append(d.label());
    log(QStringLiteral("Discs found: ") + labels.join(QStringLiteral(" · ")));
}

void DataPanelModel::checksum(const QString &file)
{
    if (!m_app)
        return;
    assign(this, m_sumFile, file, &DataPanelModel::sumFileChanged);
    setSums(std::nullopt);
    m_app->queue()->add(Jobs::Checksum{file}, QStringLiteral("Checksums of ") + nameOf(file));
}

void DataPanelModel::saveChecksums(const QString &target)
{
    if (m_sumFile.isEmpty() || !m_sums || target.isEmpty())
        return;
    const QByteArray text = Checksums::fileText(*m_sums, nameOf(m_sumFile)).toUtf8();
    offMain(
        [target, text]() -> QString {
            QSaveFile file(target);
            if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
                return file.errorString();
            return {};
        },
        [this, target](const QString &error) {
            if (!error.isEmpty())
                log(QStringLiteral("Couldn't save: ") + error);
            Q_EMIT checksumsSaved(target, error.isEmpty());
        });
}

void DataPanelModel::verifyNow()
{
    if (!m_app)
        return;
    if (m_verifyImage.isEmpty() || m_verifyAgainst.isEmpty()) {
        log(QStringLiteral("Choose the image and what to check it against."));
        return;
    }
    setLastVerify(std::nullopt);
    m_app->queue()->add(Jobs::Verify{m_verifyImage, m_verifyAgainst},
                        QStringLiteral("Verify ") + nameOf(m_verifyImage) + QStringLiteral(" against ")
                            + nameOf(m_verifyAgainst));
}

void DataPanelModel::erase()
{
    if (!m_app)
        return;
    m_app->queue()->add(Jobs::Erase{m_eraseDeck, m_eraseComplete},
                        (m_eraseComplete ? QStringLiteral("Erase (complete)") : QStringLiteral("Quick erase"))
                            + QStringLiteral(" on Deck ") + deckLetter(m_eraseDeck));
}

// ---- mounting

void DataPanelModel::mount(const QString &image, bool browse)
{
    if (!m_app || image.isEmpty())
        return;
    offMain([image, browse] { return attempt([&] { return Mounter::attach(image, browse, true); }); },
            [this, image, browse](const Result<MountedImage> &result) {
                if (!result.value) {
                    log(QStringLiteral("Couldn't mount ") + nameOf(image) + QStringLiteral(": ") + result.error,
                        result.toolWords);
                    return;
                }
                const MountedImage &mounted = *result.value;
                m_mounted.append(mounted);
                Q_EMIT mountedChanged();
                log(QStringLiteral("Mounted ") + nameOf(image) + QStringLiteral(" at ")
                    + mounted.mountPoints.join(QStringLiteral(", ")) + QStringLiteral(" (read-only)."));
                if (browse && !mounted.mountPoints.isEmpty() && m_openFolder)
                    m_openFolder(mounted.mountPoints.first());
            });
}

void DataPanelModel::unmount(int index)
{
    if (index < 0 || index >= m_mounted.size())
        return;
    const MountedImage image = m_mounted.at(index);
    offMain([device = image.device] { return attempt([&] { Mounter::detach(device, false); return true; }); },
            [this, image](const Result<bool> &result) {
                if (!result.value) {
                    log(QStringLiteral("Couldn't eject ") + nameOf(image.image) + QStringLiteral(": ") + result.error,
                        result.toolWords);
                    return;
                }
                const qsizetype before = m_mounted.size();
                m_mounted.removeIf([&](const MountedImage &m) { return m.device == image.device; });
                if (m_mounted.size() != before)
                    Q_EMIT mountedChanged();
                log(QStringLiteral("Ejected ") + nameOf(image.image) + QStringLiteral("."));
            });
}

void DataPanelModel::show(int index)
{
    if (index >= 0 && index < m_mounted.size() && !m_mounted.at(index).mountPoints.isEmpty() && m_openFolder)
        m_openFolder(m_mounted.at(index).mountPoints.first());
}

void DataPanelModel::unmountAll()
{
    for (const MountedImage &image : std::as_const(m_mounted)) {
        try {
            Mounter::detach(image.device, false);
        } catch (const TDError &) {
            // Quitting: nothing more can be done about it.
        }
    }
    if (!m_mounted.isEmpty()) {
        m_mounted.clear();
        Q_EMIT mountedChanged();
    }
}

// ---- names for the save dialogs

QString DataPanelModel::folderImageName() const
{
    return ImageMaker::volumeName(m_volume.isEmpty() ? nameOf(m_folder) : m_volume);
}

QString DataPanelModel::discImageName() const
{
    const auto disc = std::find_if(m_discs.cbegin(), m_discs.cend(),
                                   [&](const DiscInfo &d) { return d.bsdName == m_discBSD; });
    return ImageMaker::volumeName(disc != m_discs.cend() && disc->volumeName ? *disc->volumeName
                                                                              : QStringLiteral("Disc"));
}

QString DataPanelModel::sumFileName() const
{
    return nameOf(m_sumFile) + QStringLiteral(".sha256");
}
