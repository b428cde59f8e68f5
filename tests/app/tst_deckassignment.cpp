// Burners coming and going, matched to decks by the application model.

#include "ModelRig.h"

#include <QSignalSpy>
#include <QTest>

class TestDeckAssignment : public QObject
{
    Q_OBJECT

    struct Fixture : AppRig
    {
        ScriptedDiscService service;

        ~Fixture() { model.reset(); }
        void start(bool watch = true) { open(&service, watch); }
        QStringList keys() const
        {
            QStringList out;
            for (const Deck *d : model->decks())
                out.append(d->deviceKey());
            return out;
        }
    };

private Q_SLOTS:
    void noBurnerAtStartLogsOnce()
    {
        Fixture f;
        f.start();
        QCOMPARE(f.texts().size(), 2);
        QCOMPARE(f.texts().at(1), TDMessages::noBurner);
        f.model->assignIfChanged();
        QCOMPARE(f.texts().size(), 2);
        QCOMPARE(f.model->visibleCount(), 2);
        f.model->refreshDrives();
        QCOMPARE(f.texts().last(), QStringLiteral("Refresh: ") + TDMessages::noBurner);
    }

    void unplugKeepsOthersAndNewcomerTakesLowestDeck()
    {
        Fixture f;
        f.service.plug(QStringLiteral("Alpha"), QStringLiteral("pa"));
        f.service.plug(QStringLiteral("Beta"), QStringLiteral("pb"));
        f.start();
        QCOMPARE(f.keys().mid(0, 3), (QStringList{"pa", "pb", ""}));
        QCOMPARE(f.model->connectedCount(), 2);
        QCOMPARE(f.texts().mid(1), (QStringList{"Deck A: Alpha found. Blank CD-R ready · 80 min.",
                                                "Deck B: Beta found. Blank CD-R ready · 80 min."}));

        QSignalSpy changed(f.model.get(), &AppModel::connectedCountChanged);
        f.service.unplug(QStringLiteral("pa"));
        f.service.notifyDevices();
        QVERIFY(changed.wait());
        QCOMPARE(f.keys().mid(0, 2), (QStringList{"", "pb"}));
        QCOMPARE(f.texts().last(), QStringLiteral("Deck A: Alpha was unplugged."));

        f.service.plug(QStringLiteral("Gamma"), QStringLiteral("pc"));
        f.service.notifyDevices();
        QVERIFY(changed.wait());
        QCOMPARE(f.keys().mid(0, 2), (QStringList{"pc", "pb"}));
        QCOMPARE(f.texts().last(), QStringLiteral("Deck A: Gamma found. Blank CD-R ready · 80 min."));
        QCOMPARE(f.model->visibleCount(), 2);
    }

    void unplugBusyDeckStopsItAfterTheLine()
    {
        Fixture f;
        f.service.plug(QStringLiteral("Alpha"), QStringLiteral("pa"));
        f.start();
        Deck *a = f.model->decks().at(0);
        a->beginRead(QStringLiteral("Copy"));
        f.service.unplug(QStringLiteral("pa"));
        f.model->assignDevices();
        QCOMPARE(a->state(), Deck::State::stopped);
        QCOMPARE(a->mediaText(), QStringLiteral("No burner connected"));
        QCOMPARE(f.texts().last(), QStringLiteral("Deck A: Alpha was unplugged."));
    }

    void refreshJoinsDecks()
    {
        Fixture f;
        f.service.plug(QStringLiteral("Alpha"), QStringLiteral("pa"));
        auto b = f.service.plug(QStringLiteral("Beta"), QStringLiteral("pb"));
        b->m_status = ScriptedDevice::emptyTray();
        f.start();
        f.model->refreshDrives();
        QCOMPARE(f.texts().last(), QStringLiteral("Refresh: 2 drive(s) found. Deck A: Blank CD-R ready · 80 min"
                                                  " · Deck B: No disc — insert a blank CD-R"));
    }

    void sevenBurnersLogTheExtraLineAtEveryCheck()
    {
        Fixture f;
        for (int i = 1; i <= 7; ++i)
            f.service.plug(QStringLiteral("B%1").arg(i), QStringLiteral("p%1").arg(i));
        f.start();
        QCOMPARE(f.keys(), (QStringList{"p1", "p2", "p3", "p4", "p5", "p6"}));
        QCOMPARE(f.model->drivesSeen(), 7);
        const QString extra = QStringLiteral("More than 6 burners connected. Extra ones are ignored.");
        QCOMPARE(f.texts().count(extra), 1);
        f.model->assignIfChanged();
        QCOMPARE(f.texts().count(extra), 2);
        QCOMPARE(f.model->visibleCount(), 6);
    }

    void duplicateIdentitiesCollapse()
    {
        Fixture f;
        f.service.plug(QStringLiteral("Same"), QString());
        f.service.plug(QStringLiteral("Same"), QString());
        f.start();
        QCOMPARE(f.model->drivesSeen(), 1);
        QCOMPARE(f.keys().first(), QStringLiteral("drive:Same|USB"));
        QCOMPARE(f.model->connectedCount(), 1);
    }
};

QTEST_GUILESS_MAIN(TestDeckAssignment)
#include "tst_deckassignment.moc"
