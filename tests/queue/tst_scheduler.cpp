// The scheduler's start/wait/cancel decisions and the refusals, as tables,
// plus the job values' derived members the scheduler relies on.

#include "drives/TDDetect.h"
#include "queue/TDScheduler.h"

#include <QTest>

namespace {

struct Row
{
    JobKind kind;
    JobState state = JobState::waiting;
    int dependsOn = -1; // index of the job it needs, -2: a job no longer listed
};

using Rows = QList<Row>;
using Reasons = QMap<int, QString>; // by job index

JobKind burn(int deck) { return Jobs::BurnImage{QStringLiteral("/img.iso"), deck, false, true, true}; }
JobKind erase(int deck) { return Jobs::Erase{deck, false}; }
JobKind sum() { return Jobs::Checksum{QStringLiteral("/f")}; }
JobKind make() { return Jobs::MakeImage{QStringLiteral("/dir"), QStringLiteral("/out.iso"), ImageFormat::iso, QStringLiteral("X"), true}; }
JobKind copyFromDrive(const QString &bsd) { return Jobs::ReadDisc{bsd, std::nullopt, QStringLiteral("/o.iso")}; }
JobKind copyOnDeck(int deck) { return Jobs::ReadDisc{QStringLiteral("sr0"), deck, QStringLiteral("/o.iso")}; }

QString title(int i) { return QStringLiteral("Job %1").arg(i); }

QList<QJob> jobsFrom(const Rows &rows)
{
    QList<QJob> jobs;
    for (int i = 0; i < rows.size(); ++i)
        jobs.append(QJob(QUuid::createUuid(), rows[i].kind, title(i)));
    for (int i = 0; i < rows.size(); ++i) {
        jobs[i].state = rows[i].state;
        if (rows[i].dependsOn >= 0)
            jobs[i].dependsOn = jobs[rows[i].dependsOn].id;
        else if (rows[i].dependsOn == -2)
            jobs[i].dependsOn = QUuid::createUuid();
    }
    return jobs;
}

} // namespace

class TstScheduler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void plan()
    {
        const QString waitsA = QStringLiteral("Waits for Deck A (a job before it uses it)");
        const QString waitsB = QStringLiteral("Waits for Deck B (a job before it uses it)");
        const QString before = QStringLiteral("Waits for the job before it");
        // computerSlots: computer jobs allowed at once
        const struct { Rows rows; QList<int> busyDecks; Reasons notReady; QList<int> start; Reasons wait, cancel; int computerSlots; } table[] = {
            {Rows{}, QList<int>{}, Reasons{}, QList<int>{}, Reasons{}, Reasons{}, 1}, // empty
            {Rows{{burn(0)}, {burn(1)}, {burn(0)}, {erase(1)}}, QList<int>{}, Reasons{}, QList<int>{0, 1}, Reasons{{2, waitsA}, {3, waitsB}}, Reasons{}, 1}, // per-deck order; B never waits for A
            {Rows{{erase(0), JobState::running}, {burn(0)}, {burn(2)}}, QList<int>{}, Reasons{}, QList<int>{2}, Reasons{{1, waitsA}}, Reasons{}, 1}, // running erase holds its deck
            {Rows{{burn(0), JobState::done}, {erase(0), JobState::failed}, {burn(0)}}, QList<int>{}, Reasons{}, QList<int>{2}, Reasons{}, Reasons{}, 1}, // finished jobs hold nothing
            {Rows{{burn(0)}, {burn(0)}, {burn(1)}}, QList<int>{0}, Reasons{}, QList<int>{2}, Reasons{{0, QStringLiteral("Deck A is busy with an audio CD")}, {1, waitsA}}, Reasons{}, 1}, // audio burn on the deck; the next one waits behind it
            {Rows{{burn(0)}, {erase(0)}}, QList<int>{}, Reasons{{0, QStringLiteral("Deck A: no blank disc")}}, QList<int>{}, Reasons{{0, QStringLiteral("Deck A: no blank disc")}, {1, waitsA}}, Reasons{}, 1}, // not ready: the reason verbatim, and the deck stays held
            {Rows{{sum()}, {make()}, {sum()}}, QList<int>{}, Reasons{}, QList<int>{0}, Reasons{{1, before}, {2, before}}, Reasons{}, 1}, // computer jobs one at a time
            {Rows{{sum(), JobState::running}, {sum()}, {burn(3)}, {make()}}, QList<int>{}, Reasons{}, QList<int>{2}, Reasons{{1, before}, {3, before}}, Reasons{}, 1}, // a running checksum keeps all computer jobs waiting, not the burns
            {Rows{{sum()}, {make()}, {sum()}}, QList<int>{}, Reasons{}, QList<int>{0, 1}, Reasons{{2, before}}, Reasons{}, 2}, // two computer jobs when allowed
            {Rows{{sum()}}, QList<int>{0, 1, 2}, Reasons{{0, QStringLiteral("never asked")}}, QList<int>{0}, Reasons{}, Reasons{}, 1}, // computer jobs ignore busy decks and readiness
            {Rows{{make(), JobState::running}, {burn(0), JobState::waiting, 0}, {burn(0)}}, QList<int>{}, Reasons{}, QList<int>{}, Reasons{{1, QStringLiteral("Starts after “Job 0”")}, {2, waitsA}}, Reasons{}, 1}, // dependency running: starts after it, and holds its deck
            {Rows{{sum(), JobState::running}, {make()}, {burn(1), JobState::waiting, 1}}, QList<int>{}, Reasons{}, QList<int>{}, Reasons{{1, before}, {2, QStringLiteral("Starts after “Job 1”")}}, Reasons{}, 1}, // dependency waiting
            {Rows{{make(), JobState::done}, {burn(0), JobState::waiting, 0}, {burn(1), JobState::waiting, 0}}, QList<int>{1}, Reasons{}, QList<int>{1}, Reasons{{2, QStringLiteral("Deck B is busy with an audio CD")}}, Reasons{}, 1}, // dependency done: like any other burn
            {Rows{{make(), JobState::failed}, {burn(0), JobState::waiting, 0}, {copyOnDeck(1), JobState::cancelled}, {burn(2), JobState::waiting, 2}}, QList<int>{}, Reasons{}, QList<int>{}, Reasons{}, Reasons{{1, QStringLiteral("Skipped: “Job 0” didn't finish.")}, {3, QStringLiteral("Skipped: “Job 2” didn't finish.")}}, 1}, // dependency failed or cancelled
            {Rows{{burn(0), JobState::waiting, -2}, {burn(0)}}, QList<int>{}, Reasons{}, QList<int>{1}, Reasons{}, Reasons{{0, QStringLiteral("Skipped: the job it needed was removed.")}}, 1}, // dependency removed
            {Rows{{copyOnDeck(0)}, {burn(0)}, {erase(0)}}, QList<int>{}, Reasons{}, QList<int>{0}, Reasons{{1, waitsA}, {2, waitsA}}, Reasons{}, 1}, // a copy on a burner deck conflicts with burns there
            {Rows{{copyFromDrive(QStringLiteral("sr1")), JobState::running}, {copyFromDrive(QStringLiteral("sr1"))}, {copyFromDrive(QStringLiteral("sr2"))}, {burn(0)}}, QList<int>{}, Reasons{}, QList<int>{2, 3}, Reasons{{1, QStringLiteral("Waits for the drive (a job before it uses it)")}}, Reasons{}, 1}, // copies from plain drives: only the same drive waits
            {Rows{{copyFromDrive(QStringLiteral("sr1"))}}, QList<int>{0, 1, 2, 3, 4, 5}, Reasons{}, QList<int>{0}, Reasons{}, Reasons{}, 1}, // a copy from a plain drive is never asked about decks
            {Rows{{burn(0), JobState::running}, {sum(), JobState::done}, {burn(5)}}, QList<int>{}, Reasons{}, QList<int>{2}, Reasons{}, Reasons{}, 1}, // running and finished jobs appear nowhere
        };
        for (const auto &[rows, busyDecks, notReady, start, wait, cancel, computerSlots] : table)
            check(rows, busyDecks, notReady, start, wait, cancel, computerSlots);
    }

    void check(const Rows &rows, const QList<int> &busyDecks, const Reasons &notReady, const QList<int> &start,
               const Reasons &wait, const Reasons &cancel, int computerSlots)
    {
        const QList<QJob> jobs = jobsFrom(rows);
        const auto indexOf = [&](const QUuid &id) {
            for (int i = 0; i < jobs.size(); ++i)
                if (jobs[i].id == id)
                    return i;
            return -1;
        };
        const TDScheduler::Decision d = TDScheduler::plan(
            jobs, [&](int deck) { return busyDecks.contains(deck); },
            [&](const QJob &job) -> std::optional<QString> {
                const int i = indexOf(job.id);
                return notReady.contains(i) ? std::optional(notReady[i]) : std::nullopt;
            },
            computerSlots);

        QList<int> started;
        for (const QUuid &id : d.start)
            started.append(indexOf(id));
        QCOMPARE(started, start);
        Reasons waited, cancelled;
        for (auto it = d.wait.cbegin(); it != d.wait.cend(); ++it)
            waited.insert(indexOf(it.key()), it.value());
        for (auto it = d.cancel.cbegin(); it != d.cancel.cend(); ++it)
            cancelled.insert(indexOf(it.key()), it.value());
        QCOMPARE(waited, wait);
        QCOMPARE(cancelled, cancel);

        // Every waiting job is in exactly one of the three.
        for (int i = 0; i < jobs.size(); ++i) {
            const int places = int(started.contains(i)) + int(waited.contains(i)) + int(cancelled.contains(i));
            QCOMPARE(places, jobs[i].state == JobState::waiting ? 1 : 0);
        }
    }

    void refusal()
    {
        const QString noC = QStringLiteral("Deck C has no burner. Pick a deck that shows a burner, or plug one in "
                                           "(straight into the computer) and click Refresh Drives.");
        const struct { JobKind kind; QList<int> withDrive; bool demo; QString expected; } rows[] = { // expected empty: accepted
            {burn(0), {0, 1}, false, {}}, // burn on a deck with a burner
            {burn(2), {0, 1}, false, noC}, // on a deck without one
            {erase(2), {}, false, TDMessages::noBurner}, // erase with no burner at all
            {burn(2), {}, true, {}}, // demo: a burn needs no burner
            {erase(4), {0}, true, {}}, // demo: nor does an erase
            {copyOnDeck(2), {0, 1}, true, noC}, // demo: a copy on a deck still needs it
            {copyOnDeck(0), {}, true, TDMessages::noBurner},
            {sum(), {}, false, {}}, // computer job with no burner
            {copyFromDrive(QStringLiteral("sr3")), {}, false, {}}, // copy from a plain drive
        };
        for (const auto &r : rows)
            QCOMPARE(TDScheduler::refusal(r.kind, QSet<int>(r.withDrive.cbegin(), r.withDrive.cend()), r.demo).value_or(QString()), r.expected);
    }

    // States are saved by name; a name of another spelling is no state.
    void statesByName()
    {
        for (JobState s : {JobState::waiting, JobState::running, JobState::done, JobState::failed, JobState::cancelled})
            QCOMPARE(jobStateFromRaw(rawValue(s)), std::optional(s));
        QVERIFY(!jobStateFromRaw(QStringLiteral("waiting")));
        QJob a(QUuid::createUuid(), burn(0), QStringLiteral("t"));
        QVERIFY(!a.finished());
        a.state = JobState::running;
        QVERIFY(!a.finished());
        a.state = JobState::cancelled;
        QVERIFY(a.finished());
    }
};

QTEST_GUILESS_MAIN(TstScheduler)
#include "tst_scheduler.moc"
