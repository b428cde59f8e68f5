// The erase card: the job it queues names the deck and the kind of erase.

#include "app/EraseModel.h"
#include "queue/JobQueue.h"
#include <QTest>

class TstEraseModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void queuesTheChosenErase()
    {
        JobQueue queue;
        queue.setDemo(true); // no burners needed
        queue.setAutoStart(false);
        EraseModel erase(&queue, nullptr);
        erase.setDeck(1);
        erase.erase();
        erase.setComplete(true);
        erase.setDeck(9); // past the last deck
        erase.erase();
        QCOMPARE(queue.jobs().size(), 2);
        QCOMPARE(queue.jobs()[0].title, QStringLiteral("Quick erase on Deck B"));
        QCOMPARE(queue.jobs()[1].title, QStringLiteral("Erase (complete) on Deck F"));
        QCOMPARE(queue.jobs()[1].kind, JobKind(Jobs::Erase{5, true}));
    }
};

QTEST_GUILESS_MAIN(TstEraseModel)
#include "tst_erasemodel.moc"
