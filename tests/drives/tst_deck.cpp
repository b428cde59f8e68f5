// A deck against a scripted burner service: how it follows its burner and
// says its state; its audio burns, erases and reads: refusals, the service's
// statuses, endings, stop and demo runs.

#include "AudioFixtures.h"
#include "ScriptedDiscService.h"
#include "audio/AudioPrep.h"
#include "audio/DiscProject.h"
#include "base/CancelToken.h"
#include "base/Format.h"
#include "drives/Deck.h"
#include "images/FileTrackProducer.h"
#include "drives/ImageBurn.h"
#include "drives/TDDetect.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

class TestDeck : public QObject
{
    Q_OBJECT

    struct Rig
    {
        TestEnv env;
        ScriptedDiscService service;
        std::shared_ptr<ScriptedDevice> device = service.plug(QStringLiteral("DRW"), QStringLiteral("p1"));
        DiscProject projectObject;
        Deck deckObject{0};
        Deck *deck = &deckObject;
        DiscProject *project = &projectObject;
        QStringList lines; // what the deck logged, newest first
        QStringList details; // the tools' words under them

        explicit Rig(int tracks = 2)
        {
            deck->setService(&service);
            deck->attach(device);
            QObject::connect(deck, &Deck::logged, [this](const QString &line, const QString &detail) {
                lines.prepend(line);
                details.prepend(detail);
            });
            for (int i = 0; i < tracks; ++i)
                addTones(env, project, {QStringLiteral("t%1").arg(i)}, 0.5 + i);
        }
        // An end line's time reads 0:00: the scripted jobs end at once, but a
        // sanitizer build can take a second or two getting there.
        QString last() const
        {
            static const QRegularExpression time(QStringLiteral(" in \\d+:\\d\\d\\.$"));
            return QString(lines.value(0)).replace(time, QStringLiteral(" in 0:00."));
        }
        // The deck follows what the service has plugged now.
        void replug() { deck->attach(service.devices().value(0)); }
        // A written CD-RW in the tray.
        void rewritable()
        {
            device->m_status = ScriptedDevice::blankCDR();
            device->m_status->mediaType = QStringLiteral("CDRW");
            device->m_status->blank = false;
            device->m_status->erasable = true;
            deck->refreshStatus();
        }
        int cacheFiles() const { return int(QDir(AudioPrep::cacheDir()).entryList(QDir::Files).size()); }
        // How image burns and erases ended, as their callbacks said.
        QList<std::pair<bool, QString>> ends;
        std::function<void(bool, const QString &)> ended()
        {
            return [this](bool ok, const QString &message) { ends.append({ok, message}); };
        }
        // An image file of `bytes` bytes, inspected.
        ImageInfo image(const QString &name, qint64 bytes)
        {
            const QString path = env.path(name);
            TestEnv::writePattern(path, bytes);
            return *ImageInfo::inspect(path);
        }
        // Waits while the deck reads an image's layout on its workers.
        bool imageRead() { return QTest::qWaitFor([&] { return deck->state() != Deck::State::preparing; }, 10000); }
        // Starts an audio burn and waits until the burner has the job.
        ScriptedJob *burn(bool test = false, bool verify = true)
        {
            deck->start(project, test, verify, true, false, QStringLiteral("Job"));
            if (!QTest::qWaitFor([&] { return deck->state() != Deck::State::preparing; }, 10000))
                return nullptr;
            return service.jobs.isEmpty() ? nullptr : service.jobs.last().job.data();
        }
    };

private Q_SLOTS:
    void followsItsBurner()
    {
        Deck deck(2);
        QCOMPARE(deck.letter(), QStringLiteral("C"));
        QCOMPARE(deck.mediaText(), QStringLiteral("No burner")); // never read
        deck.refreshStatus();
        QCOMPARE(deck.mediaText(), QStringLiteral("No burner connected"));
        auto device = std::make_shared<ScriptedDevice>(QStringLiteral("DRW-24"), QStringLiteral("pci-1"));
        QSignalSpy media(&deck, &Deck::mediaTextChanged);
        deck.attach(device);
        QCOMPARE(deck.deviceKey(), QStringLiteral("pci-1"));
        QCOMPARE(deck.mediaText(), QStringLiteral("Blank CD-R ready · 80 min"));
        QVERIFY(deck.blankLoaded());
        QCOMPARE(deck.maxSpeedX(), 48);
        QVERIFY(deck.caps().sao && deck.caps().cdText);
        QCOMPARE(deck.interconnect(), QStringLiteral("USB"));

        device->m_status = ScriptedDevice::emptyTray();
        deck.refreshStatus();
        QCOMPARE(deck.mediaText(), QStringLiteral("No disc — insert a blank CD-R"));
        QVERIFY(!deck.blankLoaded());
        deck.refreshStatus(); // nothing changed: no second notification
        QCOMPARE(media.size(), 2);

        deck.attach(nullptr);
        QCOMPARE(deck.deviceKey(), QString());
        QCOMPARE(deck.mediaText(), QStringLiteral("No burner connected"));
        QCOMPARE(deck.maxSpeedX(), 0);
        QCOMPARE(deck.caps(), DriveCaps{});
        QCOMPARE(deck.driveName(), QStringLiteral("No burner connected"));
        QCOMPARE(deck.dataReport(100).text, TDMessages::noBurnerShort);
        QCOMPARE(deck.eraseReport().text, TDMessages::noBurnerShort);
        QCOMPARE(deck.readReport().text, QStringLiteral("No drive connected"));
        QCOMPARE(deck.etaText(), QStringLiteral("—"));
    }

    // A burner that can't be used says why on its media line at every
    // reading, but in the log only when the reason first shows, changes or
    // comes back.
    void accessProblemLoggedOnChange()
    {
        const QString denied = QStringLiteral(
            "No permission to use /dev/sr0: add yourself to the cdrom group (sudo usermod -aG cdrom $USER), then log "
            "out and back in.");
        const QString held = QStringLiteral("/dev/sr0 is in use by writer (PID 9). Close it, then Refresh Drives.");
        // readings: the burner's problem at each refresh
        const struct { QStringList readings; QStringList logged; } rows[] = {
            {QStringList{denied, denied, denied, denied}, QStringList{"Deck A: " + denied}}, // the same at every reading
            {QStringList{denied, "", "", denied}, QStringList{"Deck A: " + denied, "Deck A: " + denied}}, // fixed, then back
            {QStringList{denied, held, held}, QStringList{"Deck A: " + denied, "Deck A: " + held}}, // another reason
            {QStringList{"", ""}, QStringList{}}, // none
        };
        for (auto [readings, logged] : rows) {
            Deck deck(0);
            auto device = std::make_shared<ScriptedDevice>(QStringLiteral("DRW-24"), QStringLiteral("pci-1"));
            QStringList lines;
            connect(&deck, &Deck::logged, this, [&lines](const QString &line) { lines.append(line); });
            for (int i = 0; i < readings.size(); ++i) {
                device->m_problem = readings[i];
                if (i == 0)
                    deck.attach(device);
                else
                    deck.refreshStatus();
                QCOMPARE(deck.mediaText(), readings[i].isEmpty() ? QStringLiteral("Blank CD-R ready · 80 min") : readings[i]);
                QCOMPARE(deck.blankLoaded(), readings[i].isEmpty());
            }
            QCOMPARE(lines, logged);
            // A copy reads the disc through the system, so the reason doesn't stop it.
            QCOMPARE(deck.readReport().text, QStringLiteral("CD-R is blank — nothing to copy"));
        }
    }

    // A read's endings; while it runs the state settles once and an eject
    // is ignored, after it an eject resets the deck.
    void readEndings()
    {
        const struct { bool stopFirst; bool ok; int state; QString phase; } rows[] = {
            {false, true, int(Deck::State::done), "Image saved"}, // saved
            {false, false, int(Deck::State::failed), "The disc couldn't be read."}, // failed
            {true, false, int(Deck::State::stopped), "The disc couldn't be read."}, // stopped, not failed
        };
        for (auto [stopFirst, ok, state, phase] : rows) {
            Rig rig(0);
            Deck *deck = rig.deck;
            QSignalSpy settled(deck, &Deck::stateSettled);
            deck->beginRead(QStringLiteral("Copy"));
            const auto token = deck->beginRead(QStringLiteral("Copy disc")); // still working
            QCOMPARE(settled.size(), 1);
            QCOMPARE(deck->phase(), QStringLiteral("Reading the disc"));
            QCOMPARE(deck->op(), Deck::Op::read);
            deck->eject(); // busy: ignored
            QCOMPARE(rig.device->ejects, 0);
            if (stopFirst) {
                deck->stop();
                QVERIFY(token->isCancelled());
                QCOMPARE(deck->phase(), QStringLiteral("Stopped"));
            }
            deck->endRead(ok, QStringLiteral("The disc couldn't be read."));
            QCOMPARE(int(deck->state()), state);
            QCOMPARE(deck->phase(), phase);
            QCOMPARE(deck->op(), Deck::Op::none);
            QCOMPARE(deck->progress(), ok ? 1.0 : 0.0);
            deck->eject();
            QCOMPARE(rig.device->ejects, 1);
            QCOMPARE(deck->state(), Deck::State::idle);
            QCOMPARE(deck->phase(), QStringLiteral("Ready"));
            QCOMPARE(rig.last(), QStringLiteral("Deck A: eject."));
        }
    }

    void audioRefusals()
    {
        const struct { int tracks; bool plugged; bool blank; QString line; } rows[] = {
            {0, true, true, "Deck A: add some tracks first."}, // no tracks
            {1, false, true, QString("Deck A: ") + TDMessages::noBurner}, // no burner
            {1, true, false, "Deck A: insert a blank CD-R first."}, // no blank
        };
        for (auto [tracks, plugged, blank, line] : rows) {
            Rig rig(tracks);
            if (!blank)
                rig.device->m_status = ScriptedDevice::emptyTray();
            if (!plugged)
                rig.service.unplug(QStringLiteral("p1"));
            rig.replug();
            rig.deck->start(rig.project, false, true, true, false, {});
            QCOMPARE(rig.last(), line);
            QVERIFY(!rig.deck->busy());
            QCOMPARE(rig.deck->op(), Deck::Op::none);
            QVERIFY(rig.service.jobs.isEmpty());
        }
    }

    // A burner the user may not use refuses every operation with the reason
    // it shows, even with the right disc in, and nothing reaches the burner.
    void unusableBurnerRefuses()
    {
        for (const Deck::Op op : {Deck::Op::audio, Deck::Op::image, Deck::Op::erase}) {
            const QString problem = QStringLiteral(
                "No permission to use /dev/sr3: add yourself to the optical group (sudo usermod -aG optical $USER), then "
                "log out and back in.");
            const QString refusal = QStringLiteral("Deck A: ") + problem;
            Rig rig(1);
            if (op == Deck::Op::erase)
                rig.rewritable();
            rig.device->m_problem = problem;
            rig.deck->refreshStatus();
            const QStringList logged = rig.lines;

            if (op == Deck::Op::audio) {
                rig.deck->start(rig.project, false, true, true, false, QStringLiteral("Job"));
                QCOMPARE(rig.lines, QStringList{refusal} + logged);
            } else {
                if (op == Deck::Op::image)
                    rig.deck->burnImage(rig.image(QStringLiteral("image.iso"), 40960), false, true, true, false, {}, rig.ended());
                else
                    rig.deck->eraseDisc(false, false, QStringLiteral("Erase"), rig.ended());
                QCOMPARE(rig.ends, (QList<std::pair<bool, QString>>{{false, refusal}}));
                QCOMPARE(rig.deck->state(), Deck::State::failed);
                QCOMPARE(rig.deck->phase(), refusal);
                QCOMPARE(rig.lines, logged);
            }
            QCOMPARE(rig.deck->op(), Deck::Op::none);
            QVERIFY(!rig.deck->busy());
            QVERIFY(rig.service.jobs.isEmpty());
        }
    }

    void audioBurnEndToEnd()
    {
        Rig rig;
        rig.project->setAlbum(QStringLiteral("Live"));
        rig.project->setArtist(QStringLiteral("The Band"));
        rig.project->setGapSeconds(3);
        rig.project->setCatalog(QStringLiteral("4006381333931"));
        rig.project->setPerformer(1, QStringLiteral("A Guest"));
        rig.project->setIsrc(1, QStringLiteral("DE-A12-34-00001"));
        rig.deck->setSpeedX(16);
        QSignalSpy progress(rig.deck, &Deck::progressChanged);
        ScriptedJob *job = rig.burn();
        QVERIFY(job);
        QCOMPARE(rig.deck->state(), Deck::State::burning);
        QCOMPARE(rig.deck->phase(), QStringLiteral("Starting"));
        QCOMPARE(rig.last(), QStringLiteral("Deck A: burning at 16x."));
        QVERIFY(progress.size() >= 1); // preparation filled the first 2 %
        QCOMPARE(rig.cacheFiles(), 2);

        const auto &started = rig.service.jobs.last();
        QCOMPARE(started.properties.requestedSpeed, 16 * DRUnits::cd1x);
        QVERIFY(started.properties.verify && !started.properties.test && started.properties.sao);
        QCOMPARE(started.properties.completion, CompletionAction::eject);
        QVERIFY(started.properties.cdText);
        QCOMPARE(started.properties.cdText->discTitle, QStringLiteral("Live"));
        QCOMPARE(started.properties.cdText->trackTitles, (QStringList{"t0", "t1"}));
        QCOMPARE(started.properties.cdText->trackPerformers, (QStringList{"The Band", "A Guest"}));
        QCOMPARE(started.properties.catalog, QStringLiteral("4006381333931"));
        QCOMPARE(started.layout.tracks.size(), 2);
        QCOMPARE(started.layout.tracks[1].isrc, QStringLiteral("DEA123400001"));
        QCOMPARE(started.layout.tracks[0].preGapFrames, 150u);
        QCOMPARE(started.layout.tracks[1].preGapFrames, 225u);
        QCOMPARE(started.layout.tracks[0].blockSize, 2352u);
        QCOMPARE(started.layout.tracks[0].lengthBlocks, quint64((22050 * 4 + 2351) / 2352));

        job->send(DiscJobState::trackWrite, 0.5, 8 * DRUnits::cd1x, 2);
        QCOMPARE(rig.deck->phase(), QStringLiteral("Writing track 2"));
        QCOMPARE(rig.deck->progress(), 0.02 + 0.98 * 0.5);
        QCOMPARE(rig.deck->actualX(), 8.0);
        job->send(DiscJobState::trackWrite, -1); // no percent: progress kept
        QCOMPARE(rig.deck->progress(), 0.02 + 0.98 * 0.5);
        job->send(DiscJobState::verifying);
        QCOMPARE(rig.deck->phase(), QStringLiteral("Verifying the disc (read back)"));
        job->send(DiscJobState::done);
        QCOMPARE(rig.deck->state(), Deck::State::done);
        QCOMPARE(rig.deck->phase(), QStringLiteral("Done. Disc ejecting."));
        QCOMPARE(rig.deck->op(), Deck::Op::none);
        QCOMPARE(rig.deck->progress(), 1.0);
        QCOMPARE(rig.last(), QStringLiteral("Deck A: disc finished in 0:00."));
        QTRY_COMPARE(rig.cacheFiles(), 0);

        // Again, on a burner without disc-at-once: no CD-Text then.
        rig.device->m_info.writeCaps->remove(DRCaps::canWriteCDSAO);
        rig.device->m_info.writeCaps->remove(DRCaps::canWriteCDText);
        rig.deck->refreshStatus();
        rig.deck->setSpeedX(0);
        QVERIFY(rig.burn());
        QCOMPARE(rig.service.jobs.size(), 2);
        QVERIFY(!rig.service.jobs.last().properties.cdText);
        QVERIFY(!rig.service.jobs.last().properties.sao);
        QCOMPARE(rig.service.jobs.last().properties.requestedSpeed, 0.0);
        QCOMPARE(rig.last(), QStringLiteral("Deck A: burning at max speed (this burner has no CD-Text)."));
    }

    // A test burn never verifies; a burner that can't do one stops the next.
    void testBurns()
    {
        Rig rig;
        ScriptedJob *job = rig.burn(true, true);
        QVERIFY(job);
        QVERIFY(rig.service.jobs.last().properties.test);
        QVERIFY(!rig.service.jobs.last().properties.verify);
        QCOMPARE(rig.last(), QStringLiteral("Deck A: test burn at 16x."));
        job->send(DiscJobState::sessionOpen);
        QCOMPARE(rig.deck->phase(), QStringLiteral("Test burn: Writing lead-in"));
        job->send(DiscJobState::done);
        QCOMPARE(rig.deck->phase(), QStringLiteral("Test passed. The disc was not written."));
        QCOMPARE(rig.last(), QStringLiteral("Deck A: test burn passed in 0:00."));

        rig.device->m_info.writeCaps->remove(DRCaps::canTestWriteCD);
        rig.deck->refreshStatus();
        rig.burn(true);
        QCOMPARE(rig.service.jobs.size(), 1);
        QCOMPARE(rig.deck->state(), Deck::State::stopped);
        QCOMPARE(rig.deck->phase(), QStringLiteral("This burner can't do test burns"));
        QCOMPARE(rig.last(), QStringLiteral("Deck A: this burner can't do test burns. Stopped so no disc is used."));
        QTRY_COMPARE(rig.cacheFiles(), 0);
    }

    // A burn that fails, or that the burner refuses to start: the reason on
    // the deck and in the log, and the prepared audio cleaned away.
    void failures()
    {
        // detail: the burner's own words: in the log, under the line
        const struct { bool refused; QString error; QString detail; QString phase; } rows[] = {
            {false, "", "", "The burn failed."}, // no text
            {false, "The disc was taken out of the burner.", "SCSI error on write(20480,16): [2 3A 02] Drive not ready. Medium not present, tray open.", "The disc was taken out of the burner."}, // service text, the burner's own words under it
            {true, "", "", "The burner couldn't start the burn."}, // refused at the start
        };
        for (auto [refused, error, detail, phase] : rows) {
            Rig rig;
            rig.service.refuse = refused;
            ScriptedJob *job = rig.burn();
            QCOMPARE(!job, refused);
            if (job)
                job->send(DiscJobState::failed, -1, 0, 0, error, {}, detail);
            QCOMPARE(rig.deck->state(), Deck::State::failed);
            QCOMPARE(rig.deck->phase(), phase);
            QCOMPARE(rig.last(), QStringLiteral("Deck A: failed. ") + phase);
            QCOMPARE(rig.details.value(0), detail);
            QCOMPARE(rig.deck->op(), Deck::Op::none);
            QTRY_COMPARE(rig.cacheFiles(), 0);
        }
    }

    // The read-back of an audio burn ends in a line that says what it found,
    // from what the producers were actually handed.
    void audioReadBack()
    {
        // corruptAt: byte of track 2 changed on the "disc", -1: none; secondTrackRead: the service compared
        // track 2 at all; line: %1 is the bytes of both tracks
        const struct { qint64 corruptAt; bool secondTrackRead; QString line; QString last; } rows[] = {
            {qint64(-1), true, "Deck A: read back — Match — every track is the same on the disc as written (%1 checked).", "Deck A: disc finished in 0:00."}, // every byte matches
            {qint64(90 * 2352 + 7), true, "Deck A: read back — NO MATCH — first difference in track 2 at 0:01 (byte 211687 of the track). " "The disc is not the same as what was written.", "Deck A: failed. The disc didn't match what was written (track 2)."}, // a byte differs 1.2 s into track 2
            {qint64(0), true, "Deck A: read back — NO MATCH — first difference in track 2 at 0:00 (byte 0 of the track). " "The disc is not the same as what was written.", "Deck A: failed. The disc didn't match what was written (track 2)."}, // the very first byte differs
            {qint64(-1), false, "Deck A: read back — only %2 of %1 was compared; the rest of the disc is unchecked.", "Deck A: disc finished in 0:00."}, // track 2 never read back
        };
        for (auto [corruptAt, secondTrackRead, line, last] : rows) {
            Rig rig;
            ScriptedJob *job = rig.burn(false, true);
            QVERIFY(job);
            const QList<BurnTrack> tracks = rig.service.jobs.last().layout.tracks;
            QCOMPARE(tracks.size(), 2);
            qint64 all = 0, first = 0;
            bool same = true;
            for (int i = 0; i < tracks.size() && (i == 0 || secondTrackRead); ++i) {
                TrackProducer &producer = *tracks[i].producer;
                QVERIFY(producer.prepareTrack());
                QVERIFY(producer.prepareTrackForVerification());
                QFile prepared(dynamic_cast<FileTrackProducer &>(producer).path());
                QVERIFY(prepared.open(QIODevice::ReadOnly));
                QByteArray disc = prepared.readAll();
                disc += QByteArray(qsizetype(tracks[i].lengthBlocks * 2352) - disc.size(), '\0');
                if (i == 1 && corruptAt >= 0)
                    disc[corruptAt] = char(disc[corruptAt] ^ 0x10);
                same = producer.verifyData(disc.constData(), quint32(disc.size()), 0, 2352);
                producer.cleanupTrackAfterVerification();
                all += disc.size();
                if (i == 0)
                    first = disc.size();
            }
            if (!secondTrackRead)
                all += qint64(tracks[1].lengthBlocks * 2352);
            QCOMPARE(same, corruptAt < 0);
            job->send(DiscJobState::verifying);
            if (same)
                job->send(DiscJobState::done);
            else
                job->send(DiscJobState::failed, -1, 0, 0, QStringLiteral("The disc didn't match what was written (track 2)."));
            QCOMPARE(rig.last(), last);
            const QStringList lines = rig.lines;
            line.replace(QStringLiteral("%1"), fmtBytes(all)).replace(QStringLiteral("%2"), fmtBytes(first));
            QCOMPARE(lines.value(1), line);
        }
    }

    // A stop while the audio is prepared burns nothing; a stop while it
    // burns aborts the job and ignores what it says afterwards.
    void stops()
    {
        Rig rig;
        rig.deck->start(rig.project, false, true, true, false, {});
        QCOMPARE(rig.deck->state(), Deck::State::preparing);
        rig.deck->stop();
        QCOMPARE(rig.deck->state(), Deck::State::stopped);
        QTest::qWait(300);
        QTRY_COMPARE(rig.cacheFiles(), 0);
        QVERIFY(rig.service.jobs.isEmpty());
        QCOMPARE(rig.deck->state(), Deck::State::stopped);

        QPointer<ScriptedJob> job = rig.burn();
        QVERIFY(job);
        rig.deck->stop();
        QCOMPARE(job->aborts, 1);
        QCOMPARE(rig.deck->state(), Deck::State::stopped);
        QCOMPARE(rig.deck->phase(), QStringLiteral("Stopped"));
        QCOMPARE(rig.last(), QStringLiteral("Deck A: burn stopped. That disc can't be used."));
        job->send(DiscJobState::failed, -1, 0, 0, QStringLiteral("aborted"));
        QCOMPARE(rig.deck->state(), Deck::State::stopped);
        QTRY_VERIFY(!job); // released once the deck let go of it
    }

    void erase()
    {
        const struct { bool rewritable; bool complete; bool ok; QString message; } rows[] = {
            {false, false, false, "Deck A: CD-R — can't be erased (only CD-RW, DVD-RW, DVD+RW and BD-RE can)"}, // not erasable
            {true, false, true, "Deck A: disc erased in 0:00."}, // quick
            {true, true, true, "Deck A: disc erased in 0:00."}, // complete
        };
        for (auto [rewritable, complete, ok, message] : rows) {
            Rig rig(0);
            if (rewritable)
                rig.rewritable();
            rig.deck->eraseDisc(complete, false, QStringLiteral("Erase"), rig.ended());
            if (rewritable) {
                QCOMPARE(rig.deck->phase(), complete ? QStringLiteral("Erasing the whole disc") : QStringLiteral("Quick erase"));
                QCOMPARE(rig.last(), complete ? QStringLiteral("Deck A: complete erase started.") : QStringLiteral("Deck A: quick erase started."));
                QCOMPARE(*rig.service.jobs.last().erase, complete ? EraseType::complete : EraseType::quick);
                rig.deck->stop(); // an erase can't be stopped
                QCOMPARE(rig.last(), QStringLiteral("Deck A: the erase can't be stopped part-way; it will finish on its own."));
                QCOMPARE(rig.deck->state(), Deck::State::working);
                rig.service.jobs.last().job->send(DiscJobState::erasing, 0.4);
                QCOMPARE(rig.deck->phase(), QStringLiteral("Erasing"));
                rig.service.jobs.last().job->send(DiscJobState::done);
                QCOMPARE(rig.deck->phase(), QStringLiteral("Erased. The disc is blank."));
            } else {
                QCOMPARE(rig.deck->state(), Deck::State::failed);
                QCOMPARE(rig.deck->phase(), message);
            }
            QCOMPARE(rig.ends, (QList<std::pair<bool, QString>>{{ok, message}}));
            QCOMPARE(rig.deck->op(), Deck::Op::none);
            // A busy deck refuses at once.
            rig.deck->beginRead(QStringLiteral("Copy"));
            rig.deck->eraseDisc(false, false, {}, rig.ended());
            QCOMPARE(rig.ends.last(), std::make_pair(false, QStringLiteral("Deck A is busy.")));
        }
    }

    void demoDurations()
    {
        QCOMPARE(Deck::demoAudioSeconds(3600.0, 40), 25.0); // 60 min at 40x is raised to 25 s
        QCOMPARE(Deck::demoAudioSeconds(4800.0, 1), 90.0); // 80 min at 1x is capped at 90 s
        QCOMPARE(Deck::demoAudioSeconds(4800.0, 4), 75.0); // in between
    }

    void audioDemoRunsWithoutBurner()
    {
        Rig rig;
        rig.service.unplug(QStringLiteral("p1"));
        rig.replug();
        rig.deck->setDemoSeconds(0.2);
        rig.deck->setSpeedX(52);
        QSignalSpy buffer(rig.deck, &Deck::bufferChanged);
        rig.deck->start(rig.project, false, true, true, true, QStringLiteral("Demo"));
        QCOMPARE(rig.deck->state(), Deck::State::burning);
        QCOMPARE(rig.last(), QStringLiteral("Deck A: demo burn at 52x. No disc is used."));
        QTRY_COMPARE_WITH_TIMEOUT(rig.deck->state(), Deck::State::done, 5000);
        QCOMPARE(rig.deck->phase(), QStringLiteral("Demo finished."));
        QCOMPARE(rig.last(), QStringLiteral("Deck A: demo burn finished."));
        QCOMPARE(rig.deck->op(), Deck::Op::none);
        QVERIFY(!buffer.isEmpty());
        QVERIFY(rig.deck->buffer() >= 0.88 && rig.deck->buffer() <= 1.0);
        QVERIFY(rig.service.jobs.isEmpty());
    }

    void imageRefusals()
    {
        // A UDIF the reader turns down is never burned raw, and the refusal
        // says what is wrong with it instead of suggesting a DMG.
        QByteArray koly("koly");
        koly.append(508, '\0');
        // trailer: the last bytes of the file, when not all zeros
        const struct { qint64 size; bool plugged; bool test; QString message; QByteArray trailer; } rows[] = {
            {qint64(4096), false, false, TDMessages::noBurner, QByteArray()}, // no burner
            {qint64(2048) * 360001, true, false, "Deck A: Blank CD-R — too small for this image (needs 737.3 MB, holds 737.3 MB)", QByteArray()}, // too big for the disc
            {qint64(4097), true, false, "KLVO Tandor can't burn image.iso. Use an ISO, CDR, DMG or CUE image.", QByteArray()}, // not whole sectors
            {qint64(8192), true, false, "KLVO Tandor can't burn image.iso: This DMG is damaged: its trailer has version 0 and size 0, not " "version 4 and size 512.", koly}, // DMG the reader can't open
            {qint64(4096), true, true, "Deck A: this burner can't do test burns. Stopped so no disc is used.", QByteArray()}, // no test burns
        };
        for (auto [size, plugged, test, message, trailer] : rows) {
            Rig rig(0);
            const QString image = rig.env.path(QStringLiteral("image.iso"));
            QFile f(image);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(size));
            QVERIFY(f.seek(size - trailer.size()) && f.write(trailer) == trailer.size());
            f.close();
            DeviceStatus blank = ScriptedDevice::blankCDR();
            blank.blocksFree = 360000;
            rig.device->m_status = blank;
            rig.device->m_info.writeCaps->remove(DRCaps::canTestWriteCD);
            if (!plugged)
                rig.service.unplug(QStringLiteral("p1"));
            rig.replug();
            rig.deck->burnImage(*ImageInfo::inspect(image), test, true, true, false, {}, rig.ended());
            QVERIFY(rig.imageRead());
            QCOMPARE(rig.ends, (QList<std::pair<bool, QString>>{{false, message}}));
            QCOMPARE(rig.deck->state(), Deck::State::failed);
            QCOMPARE(rig.deck->phase(), message);
            QVERIFY(rig.service.jobs.isEmpty());
        }
    }

    // The burner's read-back is said first, as the service reported it; the
    // end message carries it after the SHA-256 verdict.
    void imageBurnWithReadBack()
    {
        const struct { bool sameDisc; bool ok; QString phase; ReadBack readBack; QString said; } rows[] = {
            {true, true, "Done and checked. Disc ejecting.", ReadBack{2048 * 100, 2048 * 100, {}}, "read back — Match — the disc is the same as the image (205 KB checked)."}, // disc matches
            {false, false, "Check failed", ReadBack{2048 * 40, 2048 * 100, {}}, "read back — only 82 KB of 205 KB was compared; the rest of the disc is " "unchecked."}, // disc differs
            {true, true, "Done and checked. Disc ejecting.", ReadBack{0, 0, QStringLiteral("the burner can't read")}, "read back skipped — the burner can't read, so the disc is unchecked."}, // read-back skipped
        };
        for (auto [sameDisc, ok, phase, readBack, said] : rows) {
            Rig rig(0);
            const ImageInfo image = rig.image(QStringLiteral("data.iso"), 2048 * 100);
            const QString disc = rig.env.path(QStringLiteral("disc.bin"));
            QVERIFY(TestEnv::writePattern(disc, 2048 * 101)); // a disc runs past the image
            if (!sameDisc) {
                QFile d(disc);
                QVERIFY(d.open(QIODevice::ReadWrite));
                d.seek(5000);
                d.write("X");
            }
            rig.deck->setSpeedX(8);
            rig.deck->burnImage(image, false, true, true, false, QStringLiteral("Burn"), rig.ended());
            QCOMPARE(rig.deck->state(), Deck::State::preparing);
            QVERIFY(rig.imageRead());
            QVERIFY(rig.service.layoutThread.load());
            QVERIFY(rig.service.layoutThread.load() != QThread::currentThread());
            QCOMPARE(rig.last(), QStringLiteral("Deck A: burning data.iso (205 KB, raw data track) at 8x."));
            const auto started = rig.service.jobs.last();
            QCOMPARE(started.properties.completion, CompletionAction::mount);
            QCOMPARE(started.properties.requestedSpeed, 8 * DRUnits::cd1x);
            QCOMPARE(started.layout.tracks.size(), 1);
            QCOMPARE(started.layout.tracks[0].lengthBlocks, 100u);
            QCOMPARE(started.layout.tracks[0].producer->estimateLength(), 100u);
            started.job->send(DiscJobState::trackWrite, 0.5);
            QCOMPARE(rig.deck->progress(), 0.425);
            QCOMPARE(rig.deck->phase(), QStringLiteral("Writing data"));
            DeviceStatus burned = ScriptedDevice::blankCDR();
            burned.blank = false;
            burned.bsdName = disc; // the disc as the system shows it
            rig.device->m_status = burned;
            started.job->send(DiscJobState::done, -1, 0, 0, {}, readBack);
            QCOMPARE(rig.last(), QStringLiteral("Deck A: ") + said);
            QCOMPARE(rig.deck->phase(), QStringLiteral("Checking the disc against the image (SHA-256)"));
            QTRY_COMPARE(rig.ends.size(), 1);
            QCOMPARE(rig.ends.first().first, ok);
            QCOMPARE(rig.deck->phase(), phase);
            QCOMPARE(rig.device->ejects, 1);
            QVERIFY(rig.ends.first().second.startsWith(ok ? QStringLiteral("Deck A: Match — SHA-256 ")
                                                          : QStringLiteral("Deck A: NO MATCH — first difference at 5 KB (byte 5000).")));
            QCOMPARE(rig.ends.first().second, rig.last() + QStringLiteral(" R") + said.mid(1));
        }
    }

    void testImageBurnSkipsReadBack()
    {
        Rig rig(0);
        rig.deck->burnImage(rig.image(QStringLiteral("data.iso"), 2048 * 10), true, true, true, false, {}, rig.ended());
        QVERIFY(rig.imageRead());
        const auto started = rig.service.jobs.last();
        QCOMPARE(started.properties.completion, CompletionAction::eject);
        QVERIFY(started.properties.test && !started.properties.verify);
        started.job->send(DiscJobState::done);
        QCOMPARE(rig.ends, (QList<std::pair<bool, QString>>{{true, QStringLiteral("Deck A: test burn passed in 0:00.")}}));
        QCOMPARE(rig.deck->phase(), QStringLiteral("Test passed. The disc was not written."));
    }

    // A stop or an unplug while the image is read ends the op once; the
    // layout that arrives afterwards starts nothing.
    void endedWhileTheImageIsRead()
    {
        const struct { bool unplug; QString message; } rows[] = {
            {false, QStringLiteral("Deck A: stopped.")}, // stopped
            {true, TDMessages::noBurner}, // unplugged
        };
        for (auto [unplug, message] : rows) {
            Rig rig(0);
            rig.deck->burnImage(rig.image(QStringLiteral("data.iso"), 2048 * 10), false, true, true, false, {}, rig.ended());
            QCOMPARE(rig.deck->state(), Deck::State::preparing);
            if (unplug) {
                rig.service.unplug(QStringLiteral("p1"));
                rig.replug();
            } else {
                rig.deck->stop();
            }
            QVERIFY(rig.imageRead());
            QTest::qWait(200); // time for a late layout to do harm
            QCOMPARE(rig.ends, (QList<std::pair<bool, QString>>{{false, message}}));
            QVERIFY(rig.service.jobs.isEmpty());
            QVERIFY(!rig.deck->busy());
        }
    }

    void eraseAndImageDemos()
    {
        Rig rig(0);
        rig.deck->setDemoSeconds(0.2);
        rig.deck->eraseDisc(true, true, {}, rig.ended());
        QCOMPARE(rig.deck->phase(), QStringLiteral("Demo: quick erase"));
        QTRY_COMPARE(rig.ends.size(), 1);
        QCOMPARE(rig.ends.last(), std::make_pair(true, QStringLiteral("Deck A: demo erase finished.")));
        QCOMPARE(rig.deck->phase(), QStringLiteral("Demo: erased."));
        QCOMPARE(rig.deck->buffer(), 1.0); // an erase has no buffer to show

        rig.deck->burnImage(rig.image(QStringLiteral("demo.iso"), 2048 * 4), false, true, true, true, {}, rig.ended());
        QCOMPARE(rig.last(), QStringLiteral("Deck A: demo burn of demo.iso. No disc is used."));
        QTRY_COMPARE(rig.ends.size(), 2);
        QCOMPARE(rig.ends.last(), std::make_pair(true, QStringLiteral("Deck A: demo burn of demo.iso finished (SHA-256 check simulated).")));

        rig.deck->setDemoSeconds(30);
        rig.deck->eraseDisc(false, true, {}, rig.ended());
        rig.deck->stop();
        QCOMPARE(rig.last(), QStringLiteral("Deck A: demo stopped."));
        QCOMPARE(rig.ends.last(), std::make_pair(false, QStringLiteral("Deck A: stopped.")));
        QCOMPARE(rig.deck->state(), Deck::State::stopped);
        QVERIFY(rig.service.jobs.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDeck)
#include "tst_deck.moc"
