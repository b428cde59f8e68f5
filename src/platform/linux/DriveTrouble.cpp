#include "platform/linux/DriveTrouble.h"

#include <QRegularExpression>
#include <cerrno>

namespace {

const QString writeError = QStringLiteral("The burner couldn't write to the disc. Try another disc.");
const QString underrun =
    QStringLiteral("The burner ran out of data to write (a buffer underrun). Try a lower speed.");
const QString removed = QStringLiteral("The disc was taken out of the burner.");
const QString notReady = QStringLiteral("The burner didn't get ready. Wait a moment, then try again.");
const QString timedOut = QStringLiteral("The burner took too long to answer.");
const QString gone = QStringLiteral("The burner was disconnected.");
const QString noPermission = QStringLiteral("No permission to use the burner.");
const QString busy = QStringLiteral("Another program is using the burner.");

// libburn words a drive's sense data as "[KEY ASC ASCQ]", in hex.
QString forSense(int key, int asc, int ascq)
{
    if (asc == 0x0C)
        return ascq == 0x09 ? underrun : writeError;
    if (asc == 0x3A)
        return removed;
    if (key == 0x2 && asc == 0x04 && ascq == 0x01)
        return notReady;
    // Logical unit communication timeout, timeout on logical unit.
    if ((asc == 0x08 && ascq == 0x01) || (asc == 0x3E && ascq == 0x02))
        return timedOut;
    return {};
}

QString forSystemError(int error)
{
    switch (error) {
    case ENODEV:
    case ENXIO:
    case ENOENT:
    case EIO: return gone;
    case EACCES:
    case EPERM:
    case EROFS: return noPermission;
    case EBUSY: return busy;
    default: return {};
    }
}

} // namespace

namespace DriveTrouble {

QString sentence(const QString &said)
{
    static const QRegularExpression sense(QStringLiteral("\\[([0-9A-F]) ([0-9A-F]{2}) ([0-9A-F]{2})\\]"));
    if (const QRegularExpressionMatch m = sense.match(said); m.hasMatch()) {
        return forSense(m.captured(1).toInt(nullptr, 16), m.captured(2).toInt(nullptr, 16),
                        m.captured(3).toInt(nullptr, 16));
    }
    const auto has = [&said](const char *part) { return said.contains(QLatin1String(part), Qt::CaseInsensitive); };
    // A command the drive didn't answer in time, waited for by libburn or
    // given up on by the kernel.
    if (said.startsWith(QLatin1String("Timeout")) || has("SG_ERR_DID_TIME_OUT") || has("SG_ERR_DRIVER_TIMEOUT"))
        return timedOut;
    static const QRegularExpression noNode(QStringLiteral("^File object '.*' not found"));
    if (has("Lost connection to drive") || has("Failed to transfer command to drive") || has("SG_ERR_DID_NO_CONNECT")
        || has("SG_ERR_DID_BAD_TARGET") || noNode.match(said).hasMatch())
        return gone;
    // Held by another program; not libburn's own "Drive is busy on attempt
    // to …", which is about this program's use of it.
    if (has("already in use") || has("busy device") || said.startsWith(QLatin1String("Device busy")))
        return busy;
    static const QRegularExpression system(QStringLiteral("Most recent system error: (\\d+)"));
    if (const QRegularExpressionMatch m = system.match(said); m.hasMatch())
        return forSystemError(m.captured(1).toInt());
    return {};
}

Explained explain(const QStringList &complaints, const QString &fallback)
{
    // libburn's complaints are shared by every drive: of those since this
    // job began, the latest that names a fault is the likeliest to be this
    // drive's, since a deck that failed earlier complained earlier.
    for (auto it = complaints.crbegin(); it != complaints.crend(); ++it) {
        if (const QString text = sentence(*it); !text.isEmpty())
            return {text, *it};
    }
    // libburn follows a failed command with its bytes ("CDB= …"): the words
    // are the complaint before them.
    for (auto it = complaints.crbegin(); it != complaints.crend(); ++it)
        if (!it->startsWith(QLatin1String("CDB=")))
            return {fallback, *it};
    return {fallback, complaints.isEmpty() ? QString() : complaints.last()};
}

QString withSystemError(const QString &text, int osErrno)
{
    if (osErrno == 0)
        return text;
    return text + QStringLiteral(" ( Most recent system error: %1  '%2' )").arg(osErrno).arg(qt_error_string(osErrno));
}

} // namespace DriveTrouble
