#include <QApplication>
#include <QQmlApplicationEngine>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tandor_CorePlugin)
Q_IMPORT_QML_PLUGIN(TandorPlugin)

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.load(QUrl(QStringLiteral("qrc:/Tandor/qml/Main.qml")));
    return engine.rootObjects().isEmpty() ? 1 : app.exec();
}
