#pragma once
// A file descriptor with exact positional reads and writes, for the UDIF
// reader and writer. Private to platform/udif. One owner, one thread at a
// time; the descriptor is closed by the destructor.
//
// Errors: TDError::cantOpen from the constructor for reading, writeFailed
// from the one for writing; readFailed when a read
// fails or the file ends before `length` bytes; writeFailed naming the file
// and the system's reason.

#include <QString>
#include <QtGlobal>

namespace Udif {

class UdifFile
{
public:
    enum class Mode { read, createTruncate };
    UdifFile(const QString &path, Mode mode);
    ~UdifFile();
    UdifFile(const UdifFile &) = delete;
    UdifFile &operator=(const UdifFile &) = delete;

    const QString &path() const { return m_path; }
    qint64 size() const;

    void readExactly(qint64 offset, char *out, qint64 length) const;
    // Reads up to `length` bytes; fewer only at the end of the file.
    qint64 readSome(qint64 offset, char *out, qint64 length) const;
    void writeAt(qint64 offset, const char *data, qint64 length);
    void resize(qint64 size);

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace Udif
