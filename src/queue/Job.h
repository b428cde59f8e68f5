#pragma once
// What a queued job does (JobKind), where it is in its life (JobState) and one
// entry of the queue (QJob). Plain values: copy them freely between threads;
// only the job queue changes a QJob, on the main thread.

#include "images/ImageInfo.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>
#include <type_traits>
#include <variant>

// The kind of action a job performs; the scheduler's rules go by it.
enum class TDAction { burn, erase, makeImage, readDisc, checksum, verify, mount, saveLog };

namespace Jobs {

struct MakeImage
{
    QString folder;  // the source folder, absolute
    QString output;  // the image to write, absolute
    ImageFormat format = ImageFormat::iso;
    QString volume;
    bool check = true; // compare the finished image with the folder
    bool operator==(const MakeImage &) const = default;
};

struct ReadDisc
{
    QString bsd;             // "sr0"
    std::optional<int> deck; // when the drive is one of our decks
    QString output;
    // An audio or mixed CD in `deck`, read securely into the BIN/CUE pair
    // whose cue is `output`; otherwise a data disc copied into an ISO.
    bool master = false;
    bool operator==(const ReadDisc &) const = default;
};

struct BurnImage
{
    QString image;
    int deck = 0;
    bool test = false;
    bool verify = true;
    bool checksum = false; // SHA-256 read-back of what was burned
    bool operator==(const BurnImage &) const = default;
};

struct Erase
{
    int deck = 0;
    bool complete = false;
    bool operator==(const Erase &) const = default;
};

struct Checksum
{
    QString file;
    bool operator==(const Checksum &) const = default;
};

struct Verify
{
    QString image;
    QString against; // another file, or a disc's device path
    bool operator==(const Verify &) const = default;
};

} // namespace Jobs

// The variant's index is the kind's case number; keep the order.
struct JobKind
{
    using Payload = std::variant<Jobs::MakeImage, Jobs::ReadDisc, Jobs::BurnImage, Jobs::Erase, Jobs::Checksum,
                                 Jobs::Verify>;
    Payload payload;

    JobKind() = default;
    template<typename T>
        requires(!std::is_same_v<std::decay_t<T>, JobKind> && std::is_constructible_v<Payload, T>)
    JobKind(T value)
        : payload(std::move(value))
    {
    }

    template<typename T>
    const T *as() const { return std::get_if<T>(&payload); }

    // The deck the job works on; absent for computer jobs and for copies
    // from a drive that is not one of our decks.
    std::optional<int> deck() const;
    // The one physical thing the job occupies: "deck:N", "disc:<bsd>", or
    // absent for a job that only uses the computer.
    std::optional<QString> resource() const;
    TDAction action() const;
    // Symbol-font icon name.
    QString symbol() const;

    bool operator==(const JobKind &) const = default;
};

enum class JobState { waiting, running, done, failed, cancelled };

// A job's title between curly quotes, as log lines and reasons quote it.
inline QString quotedTitle(const QString &title)
{
    return QStringLiteral("“") + title + QStringLiteral("”");
}

// "Waiting", "Running", "Done", "Failed", "Cancelled": also the shown text.
QString rawValue(JobState state);
std::optional<JobState> jobStateFromRaw(const QString &raw);

struct QJob
{
    QUuid id;
    JobKind kind;
    QString title;
    JobState state = JobState::waiting;
    double progress = 0;
    QString detail;
    std::optional<QUuid> dependsOn;
    std::optional<QDateTime> startedAt;
    std::optional<QDateTime> endedAt;

    QJob() = default;
    QJob(const QUuid &id, JobKind kind, const QString &title, std::optional<QUuid> dependsOn = std::nullopt)
        : id(id)
        , kind(std::move(kind))
        , title(title)
        , dependsOn(dependsOn)
    {
    }

    bool finished() const
    {
        return state == JobState::done || state == JobState::failed || state == JobState::cancelled;
    }
    bool operator==(const QJob &) const = default;
};
