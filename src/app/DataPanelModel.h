#pragma once
// The model of the Data & ISO and Checksums & Mount screens. Main thread only;
// it holds the application model weakly.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

class AppModel;

class DataPanelModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The data panel belongs to the application model")
    Q_PROPERTY(QString imagePath READ imagePath NOTIFY imagePathChanged)

public:
    explicit DataPanelModel(QObject *parent = nullptr);
    void setApp(AppModel *app);

    QString imagePath() const { return m_imagePath; }
    // Chooses the image that "Burn Image" burns.
    Q_INVOKABLE void setImage(const QString &path);
    // Ejects every image this program mounted. Called when the program quits.
    void unmountAll();

Q_SIGNALS:
    void imagePathChanged();

private:
    QPointer<AppModel> m_app;
    QString m_imagePath;
};
