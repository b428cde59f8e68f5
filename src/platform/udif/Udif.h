#pragma once
// UDIF (.dmg) images: the program's own reader and writer, so a DMG can be
// burned, mounted and made without the other system's disk-image tool.
//
// A UDIF file is the data fork (chunks of raw, zero, zlib, bzip2 or LZMA
// data), a property list whose "blkx" tables say where each chunk of the
// decoded image comes from, and a 512-byte "koly" trailer at the very end.
//
// Threading: a Reader belongs to one thread at a time (it keeps the chunk it
// decoded last); separate Readers of the same file may run at once. While it
// is read in order, a Reader decodes the next two chunks on helper threads of
// its own, which it waits for before it is destroyed. write() returns when
// done; it compresses on helper threads of its own meanwhile. Nothing here
// touches the UI.
//
// Errors: every failure is a TDError whose text is a sentence for the log:
// cantOpen/readFailed for the file system, tool(...) for an image that is
// not a UDIF or is damaged, naming what is wrong ("uses LZFSE compression,
// which can't be read here"), cancelled when the token was cancelled. Bad
// input never reads or writes outside the buffers it was given.

#include <QString>
#include <functional>
#include <memory>

class CancelToken;

namespace Udif {

class Reader
{
public:
    // Reads the trailer, the property list and every blkx table, and checks
    // that the tables describe the decoded image without gaps or overlaps
    // and point inside the data fork. Throws TDError, also for an image
    // with chunks it can't decode (ADC, LZFSE, unknown types: named), so a
    // burn never starts on one.
    static std::unique_ptr<Reader> open(const QString &path);
    virtual ~Reader() = default;

    // Bytes of the decoded image (sectors of 512 bytes).
    virtual qint64 size() const = 0;

    // Decodes `length` bytes at `offset` of the decoded image into `out`.
    // Sequential reads decode each chunk once. Throws TDError: a chunk type
    // it can't decode (named), a chunk that inflates to a size other than
    // it claims, a read failure, a range outside size().
    virtual void read(qint64 offset, char *out, qint64 length) = 0;

    // Checks the checksums the image carries (the data fork's, and each
    // table's over its decoded data) by reading the whole image once.
    // Throws TDError naming the first mismatch. `progress` gets 0…1.
    virtual void verify(const std::function<void(double)> &progress = {},
                        const CancelToken *cancel = nullptr) = 0;

    // Decodes the whole image into the file `output` (created or truncated),
    // checking the checksums on the way. Throws TDError; on failure the
    // caller removes `output`.
    virtual void decodeTo(const QString &output, const std::function<void(double)> &progress = {},
                          const CancelToken *cancel = nullptr) = 0;
};

// Wraps the raw image `input` (an ISO/HFS+ hybrid, whole 512-byte sectors)
// as a compressed read-only UDIF at `output` (created or truncated): zlib
// chunks, zero chunks for runs of zeros, CRC32 checksums, one blkx table,
// koly trailer. An input that ends inside a sector is padded with zeros to
// the sector's end. `progress` gets 0…1. Throws TDError (cancelled before
// `output` is created when the token is cancelled already); on failure the
// caller removes `output`.
void write(const QString &input, const QString &output, const std::function<void(double)> &progress = {},
           const CancelToken *cancel = nullptr);

} // namespace Udif
