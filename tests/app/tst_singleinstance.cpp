// A second copy of the program hands its files to the first.

#include "TestEnv.h"
#include "app/SingleInstance.h"

#include <QSignalSpy>
#include <QTest>
#include <QUuid>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondCopyHandsOverFiles()
    {
        TestEnv env;
        const QString name = QStringLiteral("tandor-test-") + QUuid::createUuid().toString(QUuid::Id128);
        SingleInstance first(name);
        QVERIFY(first.listen());
        QSignalSpy received(&first, &SingleInstance::filesReceived);

        // The second copy blocks while it hands over, so it runs on a thread of its own.
        QStringList files{env.path(QStringLiteral("a disc.iso")), QStringLiteral("relative.wav")};
        bool tookThem = false;
        std::unique_ptr<QThread> second(QThread::create([&] { tookThem = SingleInstance(name).handOver(files); }));
        second->start();
        QVERIFY(received.wait());
        QVERIFY(second->wait(5000));
        QVERIFY(tookThem);
        const QStringList got = received.first().first().toStringList();
        QCOMPARE(got.size(), 2);
        QCOMPARE(got.at(0), files.at(0));
        QVERIFY(got.at(1).startsWith(QLatin1Char('/')) && got.at(1).endsWith(QStringLiteral("/relative.wav")));
    }

    void noRunningCopyMeansStartNormally()
    {
        const QString name = QStringLiteral("tandor-test-") + QUuid::createUuid().toString(QUuid::Id128);
        QVERIFY(!SingleInstance(name).handOver({}, 200));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
