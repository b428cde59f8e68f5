// The make-image card: the disc name, the refusal, the make-then-burn chain.

#include "ModelRig.h"
#include "app/BurnImageModel.h"
#include "app/MakeImageModel.h"
#include <QTest>

class TstMakeImageModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The disc name is the folder's until the user names the disc; a name
    // of their own survives a new folder, a cleared one is filled again.
    void volumeFollowsTheFolder_data()
    {
        QTest::addColumn<QStringList>("steps"); // "folder:NAME" or "type:TEXT"
        QTest::addColumn<QString>("expected");
        const QString longName = QStringLiteral("A folder name far longer than any disc name may be");
        QTest::newRow("first folder") << QStringList{"folder:Photos"} << "Photos";
        QTest::newRow("next folder") << QStringList{"folder:Photos", "folder:Other"} << "Other";
        QTest::newRow("typed name stays") << QStringList{"folder:Photos", "type:Mine", "folder:Other"} << "Mine";
        QTest::newRow("typed before any folder") << QStringList{"type:Mine", "folder:Photos"} << "Mine";
        QTest::newRow("cleared is filled") << QStringList{"folder:Photos", "type:", "folder:Other"} << "Other";
        QTest::newRow("shortened name still follows") << QStringList{"folder:" + longName, "folder:Other"} << "Other";
    }
    void volumeFollowsTheFolder()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        TestEnv env;
        JobQueue queue;
        MakeImageModel make(&queue, {}, nullptr);
        for (const QString &step : steps) {
            const QString value = step.section(u':', 1);
            step.startsWith(QLatin1String("folder:")) ? make.setFolder(env.path(value)) : make.setVolume(value);
        }
        QCOMPARE(make.volume(), expected);
    }

    // "Then burn it" burns on the burn card's decks with its options once
    // the image is made; without it only the image is made.
    void chainsBurnsWhenAsked_data()
    {
        QTest::addColumn<bool>("burnAfter");
        QTest::addColumn<QStringList>("titles");
        const QString make = QStringLiteral("Make Photos.dmg from “Photos”");
        QTest::newRow("then burn") << true << QStringList{make, "Burn Photos.dmg on Deck A", "Burn Photos.dmg on Deck B"};
        QTest::newRow("make only") << false << QStringList{make};
    }
    void chainsBurnsWhenAsked()
    {
        QFETCH(bool, burnAfter);
        QFETCH(QStringList, titles);
        CardRig rig(2);
        MakeImageModel *make = rig.model->makeImage();
        make->make(rig.env.path(QStringLiteral("x.iso")));
        QCOMPARE(rig.lastLine(), QStringLiteral("Choose a folder first."));
        make->setFolder(rig.env.path(QStringLiteral("Photos")));
        make->setFormat(QStringLiteral("DMG"));
        rig.model->burnImage()->setBurnAfter(burnAfter);
        rig.model->burnImage()->setTest(true); // chained burns still say "Burn"
        make->make(rig.env.path(QStringLiteral("Photos.dmg")));
        QCOMPARE(rig.titles(), titles);
        const QList<QJob> jobs = rig.queue()->jobs();
        QCOMPARE(jobs[0].kind, JobKind(Jobs::MakeImage{make->folder(), rig.env.path("Photos.dmg"), ImageFormat::dmg,
                                                       QStringLiteral("Photos"), true}));
        for (const QJob &burn : jobs.mid(1)) {
            QCOMPARE(burn.dependsOn, std::optional(jobs[0].id));
            QVERIFY(!burn.kind.as<Jobs::BurnImage>()->checksum); // a .dmg: no checksum
            QVERIFY(burn.kind.as<Jobs::BurnImage>()->test);
        }
    }
};

QTEST_GUILESS_MAIN(TstMakeImageModel)
#include "tst_makeimagemodel.moc"
