// The mount card: Mount (or why not), Show, Eject, and the silent unmountAll.

#include "ImageFixtures.h"
#include "TestEnv.h"
#include "app/MountModel.h"
#include "images/ImageMaker.h"
#include <QTest>

class TstMountModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mountsShowsAndEjects()
    {
        TestEnv env;
        QStringList lines, opened;
        MountModel mounts([&](const QString &text, const QString &) { lines << text; }, nullptr);
        // The second time, no file manager takes the folder.
        mounts.setFolderOpener([&](const QString &folder, const auto &failed) {
            if ((opened << folder).size() == 2)
                failed(QStringLiteral("xdg-open: no method available"));
        });
        QVERIFY(writeFile(env.path(QStringLiteral("broken.iso")), QByteArray(4096, 'z')));
        mounts.mount(env.path(QStringLiteral("broken.iso")), true);
        QTRY_COMPARE(lines.size(), 1);
        QVERIFY(lines.last().startsWith(QStringLiteral("Couldn't mount broken.iso: ")));
        QVERIFY(mounts.mounted().isEmpty());
        if (!canMountWithFuse())
            QSKIP("mounting needs FUSE, fuseiso and xorriso");
        const QString folder = env.path(QStringLiteral("Trip")), image = folder + QStringLiteral(".iso");
        QVERIFY(writeFile(folder + QStringLiteral("/note.txt"), "hello\n"));
        ImageMaker::make(folder, image, ImageFormat::iso, QStringLiteral("Trip"), {}, nullptr);
        mounts.mount(image, true);
        QTRY_COMPARE(mounts.mounted().size(), 1);
        const QStringList points = mounts.mounted().first().mountPoints;
        QCOMPARE(lines.last(), QStringLiteral("Mounted Trip.iso at ") + points.join(QStringLiteral(", "))
                                   + QStringLiteral(" (read-only)."));
        QCOMPARE(readFile(points.first() + QStringLiteral("/note.txt")), QByteArray("hello\n"));
        mounts.show(0);
        QCOMPARE(opened, (QStringList{points.first(), points.first()}));
        QCOMPARE(lines.last(), QStringLiteral("Couldn't show Trip.iso: no file manager opened ") + points.first()
                                   + QStringLiteral(". Open that folder in one by hand."));
        mounts.unmount(0);
        QTRY_COMPARE(lines.last(), QStringLiteral("Ejected Trip.iso."));
        QVERIFY(mounts.mounted().isEmpty());
        mounts.mount(image, false);
        QTRY_COMPARE(mounts.mounted().size(), 1);
        const QString again = mounts.mounted().first().mountPoints.first();
        const qsizetype said = lines.size();
        mounts.unmountAll();
        QVERIFY(mounts.mounted().isEmpty());
        QVERIFY(!QFile::exists(again + QStringLiteral("/note.txt")));
        QCOMPARE(lines.size(), said);
        QCOMPARE(opened.size(), 2); // the second mount was not browsed
    }
};

QTEST_GUILESS_MAIN(TstMountModel)
#include "tst_mountmodel.moc"
