#include "app/BurnImageModel.h"

#include "app/AppModel.h"
#include "app/CardSupport.h"
#include "base/Format.h"
#include "base/OffMain.h"
#include "drives/Deck.h"
#include "drives/TDDetect.h"
#include "queue/JobQueue.h"

#include <algorithm>

BurnImageModel::BurnImageModel(AppModel *app)
    : QObject(app)
    , m_app(app)
{
    // Which decks are shown, and which have a burner, decide which targets count.
    connect(app, &AppModel::decksChanged, this, &BurnImageModel::targetsChanged);
    connect(app, &AppModel::demoChanged, this, &BurnImageModel::targetsChanged);
}

QVariantMap BurnImageModel::imageInfoMap() const
{
    if (!m_imageInfo)
        return {};
    return {
        {QStringLiteral("formatName"), m_imageInfo->formatName()},
        {QStringLiteral("bytes"), m_imageInfo->discBytes()},
        {QStringLiteral("bytesText"), fmtBytes(m_imageInfo->discBytes())},
        {QStringLiteral("fitsOn"), m_imageInfo->fitsOn()},
        {QStringLiteral("isUDIF"), m_imageInfo->isUDIF},
        {QStringLiteral("isRaw"), m_imageInfo->isRaw()},
        {QStringLiteral("sha256Checkable"), m_imageInfo->sha256Checkable()},
        {QStringLiteral("sha256Note"), m_imageInfo->sha256Checkable() ? QString()
                                       : m_imageInfo->isTrackSheet()
                                           ? QStringLiteral("No SHA-256 check for a sheet: the disc is made from the "
                                                            "files it names, not from the sheet.")
                                           : QStringLiteral("No SHA-256 check for a DMG: the disc gets the image "
                                                            "inside it, not the DMG's own bytes.")},
        {QStringLiteral("volumeName"), m_imageInfo->volumeName.value_or(QString())},
        {QStringLiteral("warning"), m_imageInfo->warning()},
    };
}

void BurnImageModel::setTargets(const QList<int> &decks)
{
    QList<int> sorted;
    for (int d : decks)
        if (d >= 0 && d < maxDecks && !sorted.contains(d))
            sorted.append(d);
    std::sort(sorted.begin(), sorted.end());
    setField(this, m_targets, sorted, &BurnImageModel::targetsChanged);
}

QList<int> BurnImageModel::targetList() const
{
    const int shown = m_app->visibleCount();
    QList<int> out;
    for (int d : m_targets)
        if (d < shown && targetUsable(d))
            out.append(d);
    return out;
}

bool BurnImageModel::targetUsable(int deck) const
{
    // Demo burns need no burner; real ones would wait for ever on an empty deck.
    if (m_app->demo())
        return true;
    const QList<Deck *> decks = m_app->decks();
    return deck >= 0 && deck < decks.size() && decks[deck]->hasDrive();
}

void BurnImageModel::setTest(bool on) { setField(this, m_test, on, &BurnImageModel::testChanged); }
void BurnImageModel::setVerify(bool on) { setField(this, m_verify, on, &BurnImageModel::verifyChanged); }
void BurnImageModel::setChecksumCheck(bool on) { setField(this, m_checksumCheck, on, &BurnImageModel::checksumCheckChanged); }
void BurnImageModel::setBurnAfter(bool on) { setField(this, m_burnAfter, on, &BurnImageModel::burnAfterChanged); }

void BurnImageModel::setImage(const QString &path)
{
    const quint64 look = ++m_imageLook;
    m_burnWhenLooked = false; // a burn asked for was for the image before
    if (m_image != path) {
        m_image = path;
        Q_EMIT imageChanged();
    }
    if (m_imageInfo || !m_problem.isEmpty()) {
        m_imageInfo.reset();
        m_problem.clear();
        Q_EMIT imageInfoChanged();
    }
    m_looking = !path.isEmpty();
    if (path.isEmpty())
        return;
    struct Look
    {
        std::optional<ImageInfo> info;
        QString why;
    };
    offMain(
        this,
        [path] {
            Look out;
            out.info = ImageInfo::examine(path, &out.why);
            return out;
        },
        [this, look, path](const Look &out) {
            if (look != m_imageLook)
                return; // another image was chosen meanwhile
            m_looking = false;
            if (!out.info) {
                m_app->log(fileNameOf(path) + QStringLiteral(" doesn't look like a disc image (ISO, DMG or CDR)."));
                m_problem = out.why;
            } else {
                m_imageInfo = out.info;
                m_problem = out.info->problem;
                if (!m_problem.isEmpty())
                    m_app->log(m_problem);
            }
            Q_EMIT imageInfoChanged();
            if (std::exchange(m_burnWhenLooked, false))
                burn();
        });
}

void BurnImageModel::burn()
{
    if (m_looking) {
        m_burnWhenLooked = true;
        return;
    }
    if (m_image.isEmpty() || !m_imageInfo) {
        m_app->log(QStringLiteral("Choose a disc image to burn first (ISO, DMG or CDR)."));
        return;
    }
    if (!m_problem.isEmpty()) {
        m_app->log(m_problem);
        return;
    }
    const QList<int> decks = targetList();
    if (decks.isEmpty()) {
        m_app->log(QStringLiteral("Pick at least one deck to burn on."));
        return;
    }
    const bool compare = m_checksumCheck && m_imageInfo->sha256Checkable();
    for (int d : decks) {
        const QString title = (m_test ? QStringLiteral("Test-burn ") : QStringLiteral("Burn ")) + fileNameOf(m_image)
            + QStringLiteral(" on Deck ") + deckLetters[size_t(d)];
        m_app->queue()->add(Jobs::BurnImage{m_image, d, m_test, m_verify, compare}, title);
    }
}

void BurnImageModel::burnWhenMade(const QString &output, const QUuid &job, std::optional<int> skipDeck)
{
    if (m_burnAfter)
        burnOn(output, job, skipDeck);
}

void BurnImageModel::burnCopy(const QString &image, std::optional<int> skipDeck)
{
    burnOn(image, std::nullopt, skipDeck);
}

void BurnImageModel::burnOn(const QString &output, const std::optional<QUuid> &job, std::optional<int> skipDeck)
{
    // The image doesn't exist yet, so the checksum choice goes by its name.
    const bool compare = m_checksumCheck && QFileInfo(output).suffix().toLower() != QLatin1String("dmg");
    for (int d : targetList()) {
        if (skipDeck == d)
            continue;
        m_app->queue()->add(Jobs::BurnImage{output, d, m_test, m_verify, compare},
                            QStringLiteral("Burn ") + fileNameOf(output) + QStringLiteral(" on Deck ")
                                + deckLetters[size_t(d)],
                            job);
    }
}
