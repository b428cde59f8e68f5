// The entry: builds the model and the window, and nothing else.

#include "app/AppModel.h"
#include "base/Allocator.h"
#include "app/MountModel.h"
#include "app/SingleInstance.h"
#include "app/StaleWork.h"
#include "queue/JobQueue.h"
#include "platform/CombinedDiscService.h"
#include "drives/TDDetect.h"
#include "platform/linux/DesktopNotifier.h"
#include "platform/linux/HardwareDiscService.h"
#include "platform/virtual/VirtualDiscService.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTimer>
#include <QSettings>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

Q_IMPORT_QML_PLUGIN(Tandor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Tandor_KitPlugin)
Q_IMPORT_QML_PLUGIN(Tandor_HelpPlugin)
Q_IMPORT_QML_PLUGIN(TandorPlugin)

int main(int argc, char *argv[])
{
    limitAllocatorArenas();
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("KLVO"));
    QApplication::setApplicationName(QStringLiteral("Tandor"));
    QApplication::setApplicationDisplayName(QStringLiteral("KLVO Tandor"));
    QApplication::setApplicationVersion(QStringLiteral(TANDOR_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("app.klvo.Tandor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Burns audio CDs and disc images on up to six burners."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Disc images to burn and audio files to add as tracks."),
                                 QStringLiteral("[files...]"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window to <file> and quit."),
                                        QStringLiteral("file"));
    parser.addOption(screenshot);
    const QCommandLineOption virtualBurners(
        QStringLiteral("virtual-burners"),
        QStringLiteral("Add <count> virtual burners that write their discs to files (0 to 8)."),
        QStringLiteral("count"));
    parser.addOption(virtualBurners);
    const QCommandLineOption screen(QStringLiteral("screen"),
                                    QStringLiteral("Show the <screen>: audio, data or tools."),
                                    QStringLiteral("screen"));
    parser.addOption(screen);
    parser.process(application);
    const QStringList files = parser.positionalArguments();
    const QString screenName = parser.value(screen);
    if (!screenName.isEmpty() && !Tandor::mainTabFromKey(screenName)) {
        std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("There is no screen \"%1\": use audio, data or tools.").arg(screenName)));
        return 2;
    }

    SingleInstance instance;
    SingleInstance::Role role = SingleInstance::Role::alone;
    if (!parser.isSet(screenshot)) {
        role = instance.start(files, screenName);
        if (role == SingleInstance::Role::handedOver) {
            std::printf("%s\n", qPrintable(SingleInstance::handedOverLine(files.size())));
            return 0;
        }
        if (role == SingleInstance::Role::alone)
            qWarning("KLVO Tandor has no private folder for its socket, so later copies will start on their own.");
    }

    QSettings settings;
    int virtualCount = settings.value(QStringLiteral("klvo.td.virtualBurners"), 0).toInt();
    if (parser.isSet(virtualBurners))
        virtualCount = parser.value(virtualBurners).toInt();
    // The combined service owns the two it shows as one.
    auto *virtuals = new VirtualDiscService(std::clamp(virtualCount, 0, 8));
    const QStringList unloaded = virtuals->readSettings(settings);
    CombinedDiscService service(
        {new HardwareDiscService(settings.value(QStringLiteral("klvo.td.extraDrives")).toStringList()), virtuals});

    DesktopNotifier notifier;
    AppModel model({&settings, true, TDLogFile::defaultPath(), &service, &notifier});
    instance.serve(model);
    for (const QString &line : unloaded)
        model.log(line);
    // Only the running copy clears the cache: any other would take its work files away.
    if (role == SingleInstance::Role::first)
        StaleWork::sweepLater(model);
    // A failed job sounds the alert once; the queue itself knows nothing of widgets.
    QObject::connect(model.queue(), &JobQueue::failureAlert, &application, &QApplication::beep);
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &model, [&model] {
        model.mounts()->unmountAll();
        model.logFile().flush();
    });

    QQmlApplicationEngine engine;
    // The modules' qmldir files are compiled in under qrc:/<URI path>.
    engine.addImportPath(QStringLiteral("qrc:/"));
    engine.setInitialProperties({{QStringLiteral("app"), QVariant::fromValue(&model)}});
    engine.load(QUrl(QStringLiteral("qrc:/Tandor/qml/Main.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    model.openFiles(files);
    if (!screenName.isEmpty())
        model.setTab(*Tandor::mainTabFromKey(screenName));

    if (parser.isSet(screenshot)) {
        // Lets the window lay out and draw before the picture is taken.
        auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
        QTimer::singleShot(800, window, [window, file = parser.value(screenshot)] {
            const bool saved = window->grabWindow().save(file);
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    return application.exec();
}
