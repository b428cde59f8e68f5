// The burn-image card: the burns it queues, on which decks, and its refusals.

#include "ModelRig.h"
#include "app/BurnImageModel.h"
#include "platform/udif/Udif.h"
#include <QTest>

class TstBurnImageModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Only shown decks with a burner are burned on (any shown deck in demo
    // mode); the others stay chosen for when a burner is plugged in.
    void queuesOneBurnPerUsableTarget_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("burners");
        QTest::addColumn<bool>("demo");
        QTest::addColumn<QList<int>>("targets");
        QTest::addColumn<bool>("test");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<bool>("checksum");
        const QStringList both{"Burn disc.iso on Deck A", "Burn disc.iso on Deck B"};
        QTest::newRow("A and B, C not shown") << "disc.iso" << 2 << false << QList<int>{2, 1, 0} << false << both << true;
        QTest::newRow("B has no burner") << "disc.iso" << 1 << false << QList<int>{0, 1} << false << QStringList{"Burn disc.iso on Deck A"} << true;
        QTest::newRow("no burner, demo") << "disc.iso" << 0 << true << QList<int>{0, 1} << false << both << true;
        QTest::newRow("test burn on B") << "disc.iso" << 2 << false << QList<int>{1} << true << QStringList{"Test-burn disc.iso on Deck B"} << true;
        QTest::newRow("a Mac disk image skips the checksum") << "mac.dmg" << 2 << false << QList<int>{0} << false << QStringList{"Burn mac.dmg on Deck A"} << false;
    }
    void queuesOneBurnPerUsableTarget()
    {
        QFETCH(QString, file);
        QFETCH(int, burners);
        QFETCH(bool, demo);
        QFETCH(QList<int>, targets);
        QFETCH(bool, test);
        QFETCH(QStringList, titles);
        QFETCH(bool, checksum);
        CardRig rig(burners);
        rig.model->setDemo(demo);
        BurnImageModel *burn = rig.model->burnImage();
        const QString image = rig.env.path(file);
        const QString raw = file.endsWith(u".dmg") ? image + QStringLiteral(".raw") : image;
        QVERIFY(TestEnv::writePattern(raw, 2048 * 64));
        if (raw != image)
            Udif::write(raw, image);
        burn->setTargets(targets);
        burn->setTest(test);
        // Burn as the menu does, at once: it waits for the look at the image.
        burn->setImage(image);
        burn->burn();
        QTRY_COMPARE(rig.titles(), titles);
        for (const QJob &j : rig.queue()->jobs()) {
            const auto *job = j.kind.as<Jobs::BurnImage>();
            QVERIFY(job && !j.dependsOn);
            QCOMPARE(job->image, image);
            QCOMPARE(job->test, test);
            QCOMPARE(job->checksum, checksum);
        }
    }

    void refusals()
    {
        CardRig rig(2);
        BurnImageModel *burn = rig.model->burnImage();
        const QString notes = rig.env.path(QStringLiteral("notes.txt"));
        QVERIFY(writeFile(notes, QByteArray()));
        burn->setImage(notes);
        QTRY_COMPARE(rig.lastLine(), QStringLiteral("notes.txt doesn't look like a disc image (ISO, DMG or CDR)."));
        QCOMPARE(burn->image(), notes); // kept, but not burnable
        burn->burn();
        QCOMPARE(rig.lastLine(), QStringLiteral("Choose a disc image to burn first (ISO, DMG or CDR)."));
        // What is wrong with an image is said when it is chosen, and again for a burn.
        const QString cue = rig.env.path(QStringLiteral("disc.cue"));
        QVERIFY(writeFile(cue, "FILE \"gone.bin\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n"));
        burn->setImage(cue);
        burn->burn();
        const QString problem = QStringLiteral("KLVO Tandor can't burn disc.cue: Line 1 of disc.cue: the file gone.bin is missing.");
        QTRY_COMPARE(rig.lastLine(), problem);
        QCOMPARE(rig.model->logLines()->lines().at(1).text, problem);
        const QString iso = rig.env.path(QStringLiteral("ok.iso"));
        QVERIFY(TestEnv::writePattern(iso, 2048 * 16));
        burn->setImage(iso);
        QTRY_VERIFY(burn->imageInfo().has_value());
        burn->setTargets({4, 5}); // not shown
        burn->burn();
        QCOMPARE(rig.lastLine(), QStringLiteral("Pick at least one deck to burn on."));
        QVERIFY(rig.queue()->jobs().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstBurnImageModel)
#include "tst_burnimagemodel.moc"
