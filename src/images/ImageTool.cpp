#include "images/ImageTool.h"

#include "images/ToolMessages.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <chrono>
#include <cstring>

namespace {

// Cuts a stream into lines as it arrives. Works on bytes, so a UTF-8
// sequence split between two reads is decoded whole.
class LineSplitter
{
public:
    template<typename Fn>
    void feed(const QByteArray &data, Fn &&onLine)
    {
        m_pending += data;
        qsizetype start = 0;
        for (qsizetype i = 0; i < m_pending.size(); ++i) {
            const char c = m_pending.at(i);
            if (c == '\n' || c == '\r') { // tools that redraw a line end it with CR
                onLine(QString::fromUtf8(m_pending.constData() + start, i - start));
                start = i + 1;
            }
        }
        m_pending.remove(0, start);
    }

    template<typename Fn>
    void finish(Fn &&onLine)
    {
        if (!m_pending.isEmpty())
            onLine(QString::fromUtf8(m_pending));
        m_pending.clear();
    }

private:
    QByteArray m_pending;
};

bool noChatter(const QString &)
{
    return false;
}

std::optional<double> noProgress(const QString &)
{
    return std::nullopt;
}

} // namespace

ImageTool::ImageTool(QString name, QString program, ProgressRule progressOf, ChatterRule isChatter)
    : m_name(std::move(name)), m_program(std::move(program)),
      m_progressOf(progressOf ? std::move(progressOf) : ProgressRule(noProgress)),
      m_isChatter(isChatter ? std::move(isChatter) : ChatterRule(noChatter))
{
}

ImageTool ImageTool::withProgram(const QString &program) const
{
    ImageTool copy = *this;
    copy.m_program = program;
    return copy;
}

const ImageTool &ImageTool::xorriso()
{
    // "xorriso : UPDATE :  43.96% done" (some versions add ", estimate finish …").
    static const QRegularExpression percent(QStringLiteral(R"(UPDATE\s*:\s*(-?\d+(?:\.\d*)?)\s*%\s*done)"));
    // Severity words that are not the problem itself: progress, notes, the
    // abort notice after a FAILURE line, and the banner and drive report
    // xorriso prints before it starts.
    static const QRegularExpression chatter(QStringLiteral(
        R"(\s:\s(UPDATE|NOTE|HINT|DEBUG|aborting)\s:|ABORT : (Program done|Drive is released|Urged drive)|)"
        R"(^xorriso \S+ : RockRidge|^(Drive current|Media current|Media status|Media summary|Added to ISO image|)"
        R"(ISO image produced|Written to medium|Writing to )\b)"));
    static const ImageTool tool(
        QStringLiteral("xorriso"), {},
        [](const QString &line) -> std::optional<double> {
            const QRegularExpressionMatch m = percent.match(line);
            if (!m.hasMatch())
                return std::nullopt;
            return m.captured(1).toDouble() / 100.0;
        },
        [](const QString &line) { return chatter.match(line).hasMatch(); });
    return tool;
}

const ImageTool &ImageTool::udisksctl()
{
    static const ImageTool tool(QStringLiteral("udisksctl"), {}, {}, {});
    return tool;
}

const ImageTool &ImageTool::fuseiso()
{
    static const ImageTool tool(QStringLiteral("fuseiso"), {}, {}, [](const QString &line) {
        return line.startsWith(QLatin1String("Supplied image file name:"));
    });
    return tool;
}

const ImageTool &ImageTool::fusermount()
{
    static const ImageTool tool(
        QStandardPaths::findExecutable(QStringLiteral("fusermount")).isEmpty()
                && !QStandardPaths::findExecutable(QStringLiteral("fusermount3")).isEmpty()
            ? QStringLiteral("fusermount3")
            : QStringLiteral("fusermount"),
        {}, {}, {});
    return tool;
}

QString ImageTool::failureMessage(const QString &errors, const QString &output) const
{
    QString last;
    const QString all = errors + QLatin1Char('\n') + output;
    for (QString line : all.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || m_isChatter(line) || m_progressOf(line))
            continue;
        last = line;
    }
    if (last.isEmpty())
        return m_name + QStringLiteral(": ") + m_name + QStringLiteral(" failed");
    last.remove(m_name + QStringLiteral(": "));
    last.remove(m_name + QStringLiteral(" : "));
    // libburn-style severities ("FAILURE : ") say how bad, not what.
    static const QRegularExpression severity(
        QStringLiteral(R"((^|: )(FATAL|FAILURE|SORRY|MISHAP|WARNING|ABORT) : )"));
    last.replace(severity, QStringLiteral("\\1"));
    return m_name + QStringLiteral(": ") + last;
}

QString ImageTool::run(const QStringList &args, const std::function<void(double)> &progress,
                       CancelToken *cancel) const
{
    using Clock = std::chrono::steady_clock;

    const QString program = m_program.isEmpty() ? QStandardPaths::findExecutable(m_name) : m_program;
    if (program.isEmpty())
        throw TDError::tool(ToolMessages::notInstalled(m_name), QStringLiteral("Couldn't start ") + m_name
                                                                   + QStringLiteral(": ")
                                                                   + QString::fromLocal8Bit(std::strerror(ENOENT)));
    if (cancel && cancel->isCancelled())
        throw TDError::cancelled();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("LANGUAGE"));

    QProcess process; // outlives the scope below, which must detach it first
    process.setProcessEnvironment(env);
    process.setProgram(program);
    process.setArguments(args);
    process.start(QIODevice::ReadOnly); // the child's standard input is at its end: no tool waits on it
    if (!process.waitForStarted(-1))
        throw TDError::tool(QStringLiteral("Couldn't start ") + m_name + QStringLiteral(": ")
                            + process.errorString());

    CancelToken::ProcessScope scope(cancel, process.processId());
    if (!scope.attached()) {
        process.terminate();
        if (!process.waitForFinished(graceMs)) {
            process.kill();
            process.waitForFinished(-1);
        }
        throw TDError::cancelled();
    }

    QByteArray output;
    QByteArray errors;
    LineSplitter outLines;
    LineSplitter errLines;
    const auto onLine = [&](const QString &line) {
        if (!progress)
            return;
        const std::optional<double> value = m_progressOf(line);
        if (value && *value >= 0)
            progress(std::min(*value, 1.0));
    };
    const auto drain = [&] {
        const QByteArray out = process.readAllStandardOutput();
        if (!out.isEmpty()) {
            output += out;
            outLines.feed(out, onLine);
        }
        const QByteArray err = process.readAllStandardError();
        if (!err.isEmpty()) {
            errors += err;
            errLines.feed(err, onLine);
        }
    };

    // waitForFinished services both pipes while it waits, so neither fills
    // up; the short timeout is how often progress and the token are looked at.
    std::optional<Clock::time_point> cancelledAt;
    while (!process.waitForFinished(100) && process.state() != QProcess::NotRunning) {
        drain();
        if (cancel && cancel->isCancelled()) {
            const auto now = Clock::now();
            if (!cancelledAt)
                cancelledAt = now; // cancel() has sent SIGTERM
            else if (now - *cancelledAt > std::chrono::milliseconds(graceMs))
                process.kill();
        }
    }
    drain();
    outLines.finish(onLine);
    errLines.finish(onLine);

    if (cancel && cancel->isCancelled())
        throw TDError::cancelled();
    const QString outText = QString::fromUtf8(output);
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return outText;
    const QString errText = QString::fromUtf8(errors);
    const QString raw = failureMessage(errText, outText);
    throw TDError::tool(ToolMessages::sentence(m_name, errText + QLatin1Char('\n') + outText).value_or(raw), raw);
}
