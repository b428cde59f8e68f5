// A burner the user may not open, end to end: the hardware service pointed
// at a node this user is refused (see Unprivileged.h), the application's deck
// showing why and the burn log saying it once.

#include "ImageFixtures.h"
#include "LibburnBarrier.h"
#include "TestEnv.h"
#include "Unprivileged.h"
#include "app/AppModel.h"
#include "drives/Deck.h"
#include "platform/linux/HardwareDiscService.h"

#include <QCoreApplication>
#include <QTest>

#include <sys/stat.h>

class TestBurnerAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unusableBurner_data()
    {
        QTest::addColumn<QString>("rootNode"); // made by root; empty: a file of our own without rights
        QTest::addColumn<QString>("text");     // %1: the node
        QTest::newRow("ours, no rights") << "" << "No permission to use %1: its mode doesn't let you read and write it (see ls -l %1), so ask your " "administrator for access.";
        QTest::newRow("cdrom group") << "cdrom" << "No permission to use %1: add yourself to the cdrom group (sudo usermod -aG " "cdrom $USER), then log out and back in.";
    }
    void unusableBurner()
    {
        QFETCH(QString, rootNode);
        QFETCH(QString, text);
        TestEnv env;
        QString node = rootNode.isEmpty() ? env.path(QStringLiteral("sr-node")) : Unprivileged::node(rootNode);
        if (node.isEmpty())
            QSKIP("Needs a node made by root: run the test as root.");
        if (rootNode.isEmpty())
            QVERIFY(writeFile(node, "not a disc\n") && ::chmod(QFile::encodeName(node).constData(), 0) == 0);
        const QString reason = text.arg(node);
        const QString said = QStringLiteral("Deck A: ") + reason;

        auto settings = env.settings();
        settings->setValue(QStringLiteral("klvo.td.extraDrives"), QStringList{node});
        HardwareDiscService hardware(settings->value(QStringLiteral("klvo.td.extraDrives")).toStringList());
        if (hardware.devices().size() != 1)
            QSKIP("This machine has an optical drive; it would take deck A.");
        AppModel model({settings.get(), true, env.path(QStringLiteral("log.txt")), &hardware});
        Deck *a = model.decks().at(0);
        QVERIFY(a->hasDrive());
        QTRY_COMPARE_WITH_TIMEOUT(a->mediaText(), reason, 10000);

        // Every Refresh Drives reads the drive again and finds the same.
        for (int i = 0; i < 3; ++i) {
            model.refreshDrives();
            QVERIFY(libburnCaughtUp(env.root()));
        }
        QCOMPARE(a->mediaText(), reason);
        int times = 0;
        for (const auto &line : model.logLines()->lines())
            times += line.text == said;
        QCOMPARE(times, 1);
    }
};

int main(int argc, char **argv)
{
    return Unprivileged::run(argc, argv, [](int c, char **v) {
        QCoreApplication app(c, v);
        TestBurnerAccess test;
        return QTest::qExec(&test, c, v);
    });
}

#include "tst_burneraccess.moc"
