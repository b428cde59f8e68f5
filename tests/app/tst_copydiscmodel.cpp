// The copy-disc card: the chosen disc, the refusals, the copy-then-burn chain.

#include "ModelRig.h"
#include "app/BurnImageModel.h"
#include "app/CopyDiscModel.h"
#include "drives/Deck.h"
#include <QTest>

static DiscInfo dataDisc(const QString &bsd, const std::optional<QString> &volume)
{
    return {bsd, QStringLiteral("DVD"), QStringLiteral("DVD-ROM"), 8 << 20, 2048, QStringLiteral("iso9660"),
            volume, std::nullopt, false};
}

class TstCopyDiscModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lookingForDiscsKeepsTheChosenOne()
    {
        CardRig rig;
        CopyDiscModel *copy = rig.model->copyDisc();
        const DiscInfo a = dataDisc(QStringLiteral("sr0"), QStringLiteral("Alpha"));
        const DiscInfo b = dataDisc(QStringLiteral("sr1"), QStringLiteral("Beta"));
        copy->applyDiscs({a}, true);
        QCOMPARE(copy->discBSD(), QStringLiteral("sr0"));
        copy->applyDiscs({b, a}, true);
        QCOMPARE(copy->discBSD(), QStringLiteral("sr0"));
        QCOMPARE(rig.lastLine(), QStringLiteral("Discs found: ") + b.label() + QStringLiteral(" · ") + a.label());
        copy->applyDiscs({b}, true);
        QCOMPARE(copy->discBSD(), QStringLiteral("sr1"));
        copy->applyDiscs({}, true);
        QCOMPARE(copy->discBSD(), QString());
        QCOMPARE(rig.lastLine(), QStringLiteral("No CD or DVD found in any drive."));
        copy->copy(rig.env.path(QStringLiteral("x.iso")));
        QCOMPARE(rig.lastLine(),
                 QStringLiteral("No CD or DVD is in any drive. Insert the disc to copy, then click Look for Discs."));
        copy->applyDiscs({a}, false);
        copy->setDiscBSD(QString());
        copy->copy(rig.env.path(QStringLiteral("x.iso")));
        QCOMPARE(rig.lastLine(), QStringLiteral("Choose the disc to copy."));
        QVERIFY(rig.queue()->jobs().isEmpty());
    }

    void copyingTheDiscInDeckBBurnsOnlyOnA()
    {
        CardRig rig(2);
        DeviceStatus status = ScriptedDevice::blankCDR();
        status.blank = false;
        status.bsdName = QStringLiteral("sr1");
        rig.devices.at(1)->m_status = status;
        rig.service.notifyStatus();
        QTRY_VERIFY(rig.model->decks().at(1)->snapshot() && rig.model->decks().at(1)->snapshot()->bsdName);
        CopyDiscModel *copy = rig.model->copyDisc();
        const DiscInfo holiday = dataDisc(QStringLiteral("sr1"), QStringLiteral("Holiday"));
        copy->applyDiscs({holiday, dataDisc(QStringLiteral("sr4"), std::nullopt)}, false);
        QCOMPARE(copy->imageName(), QStringLiteral("Holiday"));
        rig.model->burnImage()->setBurnAfter(true);
        copy->copy(rig.env.path(QStringLiteral("Holiday.iso")));
        QCOMPARE(rig.titles(), (QStringList{"Copy Holiday to Holiday.iso", "Burn Holiday.iso on Deck A"}));
        QCOMPARE(rig.queue()->jobs()[0].kind.as<Jobs::ReadDisc>()->deck, std::optional(1));
        QCOMPARE(rig.queue()->jobs()[1].dependsOn, std::optional(rig.queue()->jobs()[0].id));

        // A disc in a drive that is no deck of ours, with no volume name, burns on both.
        copy->setDiscBSD(QStringLiteral("sr4"));
        QCOMPARE(copy->imageName(), QStringLiteral("Disc"));
        copy->copy(rig.env.path(QStringLiteral("Disc.iso")));
        QCOMPARE(rig.titles().mid(2),
                 (QStringList{"Copy disc to Disc.iso", "Burn Disc.iso on Deck A", "Burn Disc.iso on Deck B"}));
        QCOMPARE(rig.queue()->jobs()[2].kind.as<Jobs::ReadDisc>()->deck, std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TstCopyDiscModel)
#include "tst_copydiscmodel.moc"
