#include "base/TDError.h"

#include "base/Format.h"

#include <cstring>

namespace {

// strerror() may share one buffer between threads; strerror_r comes in a GNU
// and an XSI flavour, and these two overloads take whichever the C library has.
[[maybe_unused]] const char *chosen(const char *result, const char *) { return result; }
[[maybe_unused]] const char *chosen(int result, const char *buffer) { return result == 0 ? buffer : nullptr; }

QString systemText(int err)
{
    char buffer[256] = {};
    const char *text = chosen(strerror_r(err, buffer, sizeof buffer), buffer);
    if (!text)
        return QStringLiteral("error %1").arg(err);
    return QString::fromLocal8Bit(text);
}

} // namespace

TDError TDError::cantOpen(const QString &path, int err)
{
    TDError e(Kind::cantOpen);
    e.m_path = path;
    e.m_errno = err;
    return e;
}

TDError TDError::readFailed(const QString &path, qint64 offset, int err)
{
    TDError e(Kind::readFailed);
    e.m_path = path;
    e.m_offset = offset;
    e.m_errno = err;
    return e;
}

TDError TDError::writeFailed(const QString &message)
{
    TDError e(Kind::writeFailed);
    e.m_message = message;
    return e;
}

TDError TDError::tool(const QString &message, const QString &detail)
{
    TDError e(Kind::tool);
    e.m_message = message;
    if (detail != message)
        e.m_detail = detail;
    return e;
}

TDError TDError::refused(const QString &message)
{
    TDError e(Kind::refused);
    e.m_message = message;
    return e;
}

TDError TDError::cancelled()
{
    return TDError(Kind::cancelled);
}

QString TDError::text() const
{
    switch (m_kind) {
    case Kind::cantOpen:
        return QStringLiteral("Couldn't open ") + m_path + QStringLiteral(" (") + systemText(m_errno)
               + QStringLiteral(").");
    case Kind::readFailed:
        return QStringLiteral("Read error in ") + m_path + QStringLiteral(" at ") + fmtBytes(m_offset)
               + QStringLiteral(" (") + systemText(m_errno) + QStringLiteral(").");
    case Kind::writeFailed:
        return QStringLiteral("Couldn't save the file: ") + m_message;
    case Kind::tool:
    case Kind::refused:
        return m_message;
    case Kind::cancelled:
        return QStringLiteral("Stopped.");
    }
    return {};
}
