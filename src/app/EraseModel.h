#pragma once
// The "Erase a rewritable disc" card: the deck, quick or complete, and
// Erase, which queues the job.
//
// Threading: main thread only; nothing here blocks.
//
// Ownership: made and owned by the application model, which owns `queue`
// too; neither is called once it is being destroyed.

#include <QObject>
#include <QtQmlIntegration/qqmlintegration.h>

class JobQueue;

class EraseModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The erase card's model belongs to the application model")
    Q_PROPERTY(int deck READ deck WRITE setDeck NOTIFY deckChanged)
    Q_PROPERTY(bool complete READ complete WRITE setComplete NOTIFY completeChanged)

public:
    EraseModel(JobQueue *queue, QObject *parent);

    int deck() const { return m_deck; }
    // Kept to a deck that exists.
    void setDeck(int deck);
    bool complete() const { return m_complete; }
    void setComplete(bool on);

    Q_INVOKABLE void erase();

Q_SIGNALS:
    void deckChanged();
    void completeChanged();

private:
    JobQueue *m_queue;
    int m_deck = 0;
    bool m_complete = false;
};
