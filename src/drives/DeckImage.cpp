// A deck's image burns and the SHA-256 read-back of the burned disc.

#include "base/Format.h"
#include "drives/Deck.h"

#include "base/CancelToken.h"
#include "base/OffMain.h"
#include "base/TDError.h"
#include "drives/ImageBurn.h"
#include "images/MasterCopy.h"
#include "images/Verifier.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>

#include <cstring>

namespace {
// The new disc shows up within 30 s or the read-back is skipped.
constexpr int discPolls = 60;
constexpr int discPollMs = 500;

QString speedText(int speedX, const QString &max)
{
    return speedX == 0 ? max : QString::number(speedX) + QStringLiteral("x");
}
} // namespace

void Deck::burnImage(const ImageInfo &info, bool test, bool verify, bool checksum, bool demo, const QString &job,
                     DoneFn done)
{
    if (busy()) {
        if (done)
            done(false, QStringLiteral("Deck ") + letter() + QStringLiteral(" is busy."));
        return;
    }
    const QString name = QFileInfo(info.path).fileName();
    setJobName(job);
    setOp(Op::image);
    m_onDone = std::move(done);
    m_cancel = std::make_shared<CancelToken>();
    setProgress(0);
    setCurrentTrack(0);
    setActualX(0);
    setBuffer(1.0);
    m_startedAt = QDateTime::currentDateTime();
    m_imageToCheck.reset();
    m_imageVerify = false;
    m_readBackSaid.clear();
    // A disc image is checked by its SHA-256, a sheet's disc track by track.
    if (checksum && !test && (info.sha256Checkable() || info.isTrackSheet()))
        m_imageToCheck = info.path;

    if (demo) {
        m_imageDemoChecksum = m_imageToCheck.has_value();
        m_imageToCheck.reset();
        setState(State::burning);
        setPhase(QStringLiteral("Demo: writing lead-in"));
        logLine(QStringLiteral(": demo burn of ") + name + QStringLiteral(". No disc is used."));
        const double seconds = demoOverride() > 0 ? demoOverride() : 20.0;
        startDemo([this, seconds, name] {
            const double p = m_progress;
            setActualX(demoSpeed(false) * (std::min(2 * p, 1.0) * 0.5 + 0.5));
            setBuffer(0.9 + QRandomGenerator::global()->generateDouble() * 0.1);
            setProgress(std::min(p + demoTickMs / 1000.0 / seconds, 1.0));
            if (m_progress < 0.03)
                setPhase(QStringLiteral("Demo: writing lead-in"));
            else if (m_progress < 0.85)
                setPhase(QStringLiteral("Demo: writing data"));
            else
                setPhase(m_imageDemoChecksum ? QStringLiteral("Demo: checking the disc against the image (SHA-256)")
                                             : QStringLiteral("Demo: closing the disc"));
            if (m_progress < 1)
                return;
            stopDemo();
            setState(State::done);
            setActualX(0);
            setPhase(QStringLiteral("Demo finished."));
            const QString line = QStringLiteral(": demo burn of ") + name + QStringLiteral(" finished")
                + (m_imageDemoChecksum ? QStringLiteral(" (SHA-256 check simulated)") : QString()) + QStringLiteral(".");
            logLine(line);
            finishOp(true, QStringLiteral("Deck ") + letter() + line);
        });
        return;
    }

    if (!m_device) {
        finishOp(false, TDMessages::noBurner);
        return;
    }
    // A tray that can't take any image says so at once; the size is checked
    // once the layout is known.
    if (const MediaReport report = dataReport(std::nullopt); !report.ready) {
        finishOp(false, QStringLiteral("Deck ") + letter() + QStringLiteral(": ") + report.text);
        return;
    }
    // Making the layout reads the file (a DMG's tables, a cue sheet and the
    // files it names), so it happens on the deck's workers, the deck already
    // busy. A stop or an unplug meanwhile ends the op; the result is dropped.
    setState(State::preparing);
    setPhase(QStringLiteral("Starting")); // a refusal still replaces it
    struct Read
    {
        std::optional<ImageBurn::Layout> layout;
        QString refusal;
    };
    offMain(
        this,
        [info, service = m_service] {
            Read read{ImageBurn::layout(info, false, service), {}};
            if (!read.layout)
                read.refusal = ImageBurn::refusal(info);
            return read;
        },
        [this, token = m_cancel, info, test, verify](const Read &read) {
            if (!token->isCancelled() && token == m_cancel && m_state == State::preparing && m_op == Op::image)
                startImageBurn(info, test, verify, read.layout, read.refusal);
        },
        &m_workers);
}

void Deck::startImageBurn(const ImageInfo &info, bool test, bool verify, const std::optional<ImageBurn::Layout> &layout,
                          const QString &refusal)
{
    const QString name = QFileInfo(info.path).fileName();
    const QString deckPrefix = QStringLiteral("Deck ") + letter() + QStringLiteral(": ");
    if (!m_device) {
        finishOp(false, TDMessages::noBurner);
        return;
    }
    DiscService *service = m_service;
    if (const MediaReport report = dataReport(layout && layout->bytes > 0 ? layout->bytes : info.bytes); !report.ready) {
        finishOp(false, deckPrefix + report.text);
        return;
    }
    // A sheet describes a CD; a DVD or BD blank can't hold its tracks.
    if (const DiscFamily family = TDDetect::family(m_snapshot ? m_snapshot->mediaType : std::nullopt);
        layout && !layout->layout.cueSheet.isEmpty() && family != DiscFamily::cd && family != DiscFamily::unknown) {
        finishOp(false, deckPrefix + name + QStringLiteral(" describes a CD, and a ")
                            + TDDetect::mediaTypeName(m_snapshot->mediaType)
                            + QStringLiteral(" can't take its tracks. Put in a blank CD-R or CD-RW."));
        return;
    }
    if (test && !m_caps.testBurn) {
        finishOp(false, deckPrefix + QStringLiteral("this burner can't do test burns. Stopped so no disc is used."));
        return;
    }
    if (!layout) {
        finishOp(false, refusal);
        return;
    }
    m_keepAlive = layout->keep;

    double unit = DRUnits::cd1x;
    switch (TDDetect::family(m_snapshot ? m_snapshot->mediaType : std::nullopt)) {
    case DiscFamily::dvd: unit = DRUnits::dvd1x; break;
    case DiscFamily::bd: unit = DRUnits::bd1x; break;
    default: break;
    }
    BurnProperties properties;
    properties.test = test;
    properties.verify = verify && !test;
    m_imageVerify = properties.verify;
    properties.underrunProtection = true;
    // The disc stays in when it is to be read back.
    properties.completion = m_imageToCheck ? CompletionAction::mount : CompletionAction::eject;
    properties.appendable = false;
    properties.requestedSpeed = m_speedX == 0 ? 0 : unit * m_speedX;

    std::unique_ptr<DiscJob> burnJob = service ? service->burn(m_device, properties, layout->layout) : nullptr;
    m_burnIsTest = test;
    setState(State::burning);
    setPhase(test ? QStringLiteral("Test burn: starting") : QStringLiteral("Starting"));
    logLine(QStringLiteral(": ") + (test ? QStringLiteral("test burn of") : QStringLiteral("burning"))
            + QStringLiteral(" ") + name + QStringLiteral(" (")
            + fmtBytes(info.isTrackSheet() && layout->bytes > 0 ? layout->bytes : info.bytes) + QStringLiteral(", ")
            + layout->how + QStringLiteral(") at ") + speedText(m_speedX, QStringLiteral("max speed"))
            + QStringLiteral("."));
    if (!burnJob) {
        failed(QStringLiteral("The burner couldn't start the burn."));
        return;
    }
    watch(std::move(burnJob), false);
}

void Deck::checkDisc(const QString &image)
{
    using Progress = std::function<void(double)>;
    if (DiscSheet::isSheetName(image)) {
        // A sheet's disc is compared with the sheet, track by track.
        checkWhenBack(QStringLiteral("Comparing the copy with the master, track by track"),
                      QStringLiteral("Burned. The comparison with the master was skipped because the burner didn't "
                                     "report the new disc."),
                      [this, image]() -> DiscCheck {
                          std::shared_ptr<CdReader> reader = openCd();
                          if (!reader)
                              return {};
                          return [reader, image](CancelToken *token, const Progress &progress) {
                              const MasterCopy::Comparison c =
                                  MasterCopy::compare(*reader, DiscSheet::read(image), progress, token);
                              return Checked{c.identical, c.text};
                          };
                      });
        return;
    }
    checkWhenBack(QStringLiteral("Checking the disc against the image (SHA-256)"),
                  QStringLiteral("Burned. The SHA-256 read-back was skipped because the system didn't report the "
                                 "new disc."),
                  [this, image]() -> DiscCheck {
                      const auto status = m_device ? m_device->status() : std::nullopt;
                      if (!status || status->bsdName.isEmpty())
                          return {};
                      const QString disc = status->bsdName.startsWith(QLatin1Char('/'))
                          ? status->bsdName
                          : QStringLiteral("/dev/") + status->bsdName;
                      return [image, disc](CancelToken *token, const Progress &progress) {
                          try {
                              const VerifyResult result = Verifier::compare(image, disc, progress, token);
                              return Checked{result.match, result.summary()};
                          } catch (const TDError &e) {
                              if (e.kind() != TDError::Kind::cantOpen)
                                  throw;
                              return Checked{true, QStringLiteral("Burned and verified by the burner. The extra "
                                                                  "SHA-256 read-back couldn't open the disc (")
                                                       + QString::fromLocal8Bit(std::strerror(e.errorNumber()))
                                                       + QStringLiteral(").")};
                          }
                      };
                  });
}

void Deck::checkWhenBack(const QString &phase, const QString &skipped, const std::function<DiscCheck()> &ready)
{
    setState(State::working);
    setPhase(phase);
    setProgress(0.85);

    // Polled on the main thread (the device is read there); the check itself
    // runs in the background.
    const auto token = m_cancel;
    auto *poll = new QTimer(this);
    poll->setInterval(discPollMs);
    auto tries = std::make_shared<int>(0);
    auto tick = [this, poll, tries, token, skipped, ready] {
        if (token->isCancelled()) {
            poll->deleteLater();
            checkDiscEnded(false, QStringLiteral("Stopped."));
            return;
        }
        const DiscCheck check = ready();
        if (!check) {
            if (++*tries < discPolls)
                return;
            poll->deleteLater();
            checkDiscEnded(true, skipped);
            return;
        }
        poll->stop();
        poll->deleteLater();
        const QPointer<QObject> self(this);
        offMain(
            this,
            [this, self, token, check] {
                try {
                    return check(token.get(), [this, self](double f) {
                        postToMain(self, [this, f] {
                            if (m_state == State::working)
                                setProgress(0.85 + 0.15 * f);
                        });
                    });
                } catch (const TDError &e) {
                    return Checked{false, e.text()};
                }
            },
            [this](const Checked &checked) { checkDiscEnded(checked.ok, checked.message); }, &m_workers);
    };
    connect(poll, &QTimer::timeout, this, tick);
    poll->start();
    tick();
}

void Deck::checkDiscEnded(bool ok, const QString &message)
{
    m_imageToCheck.reset();
    if (m_device)
        m_device->ejectMedia();
    if (ok) {
        setProgress(1);
        setState(State::done);
        setPhase(QStringLiteral("Done and checked. Disc ejecting."));
    } else {
        setState(State::failed);
        setPhase(QStringLiteral("Check failed"));
    }
    logLine(QStringLiteral(": ") + message);
    // The burner's own read-back came first; the job's line says both.
    const QString readBack = std::exchange(m_readBackSaid, {});
    finishOp(ok, withReadBack(QStringLiteral("Deck ") + letter() + QStringLiteral(": ") + message, readBack));
}

QString Deck::withReadBack(const QString &line, const QString &readBack)
{
    if (readBack.isEmpty())
        return line;
    // "identical to the master (3 tracks)" is a line of its own without a full stop.
    return line + (line.endsWith(u'.') ? QStringLiteral(" ") : QStringLiteral(". ")) + readBack.left(1).toUpper()
        + readBack.mid(1);
}

QString Deck::imageReadBack(const std::optional<ReadBack> &readBack)
{
    const QString head = QStringLiteral("read back");
    if (readBack && !readBack->skipped.isEmpty())
        return head + QStringLiteral(" skipped — ") + readBack->skipped + QStringLiteral(", so the disc is unchecked.");
    const quint64 compared = readBack ? readBack->comparedBytes : 0;
    const quint64 total = readBack ? readBack->totalBytes : 0;
    if (compared == 0)
        return head + QStringLiteral(" — nothing was compared, so the disc is unchecked.");
    if (compared >= total)
        return head + QStringLiteral(" — Match — the disc is the same as the image (") + fmtBytes(qint64(compared))
            + QStringLiteral(" checked).");
    return head + QStringLiteral(" — only ") + fmtBytes(qint64(compared)) + QStringLiteral(" of ")
        + fmtBytes(qint64(total)) + QStringLiteral(" was compared; the rest of the disc is unchecked.");
}
