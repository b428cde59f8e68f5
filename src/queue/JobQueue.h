#pragma once
// The one queue of long-running jobs. Main thread only; it holds the
// application model weakly.

#include <QObject>
#include <QPointer>
#include <QtQmlIntegration/qqmlintegration.h>

class AppModel;

class JobQueue : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The queue belongs to the application model")
    Q_PROPERTY(int count READ count NOTIFY changed)

public:
    explicit JobQueue(QObject *parent = nullptr);
    void setApp(AppModel *app);

    int count() const { return 0; }
    // Starts whatever may start now. Called whenever burners or jobs change.
    void pump();
    // Whether a job that has not ended holds the deck at `index`.
    bool usesDeck(int index) const;

Q_SIGNALS:
    void changed();

private:
    QPointer<AppModel> m_app;
};
