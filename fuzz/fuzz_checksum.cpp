// Feeds arbitrary text to the pasted-checksum comparison: the first 48 bytes
// are the file's MD5 and SHA-256, the rest is what the user pasted. A match
// is exactly the pasted first word equal to a digest, whatever follows it.

#include "Scratch.h"

#include "images/Checksums.h"

#include <cstdint>
#include <cstdlib>

namespace {

void expect(const QString &pasted, const Digests &digests, ChecksumMatch wanted, const char *what)
{
    if (Checksums::match(pasted, digests) != wanted) {
        fprintf(stderr, "pasted: '%s'\n", qPrintable(pasted));
        broken(what);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 48)
        return 0;
    const auto bytes = [&](size_t from, size_t count) {
        return QByteArray(reinterpret_cast<const char *>(data) + from, qsizetype(count));
    };
    Digests digests;
    digests.md5 = Checksums::hex(bytes(0, 16));
    digests.sha256 = Checksums::hex(bytes(16, 32));
    const QString pasted = Fuzz::text(bytes(48, size - 48));

    const ChecksumMatch result = Checksums::match(pasted, digests);
    if (Checksums::verdict(result).isEmpty())
        broken("a result without a verdict");
    const QString word = Checksums::normalize(pasted);
    if (word.contains(u' ') || word.contains(u'\t') || word != word.toLower())
        broken("normalize() left a space, a tab or a capital");
    if ((result == ChecksumMatch::md5) != (word == digests.md5))
        broken("an MD5 match that isn't the MD5, or the MD5 not matched");
    if ((result == ChecksumMatch::sha256) != (word == digests.sha256 && word != digests.md5))
        broken("a SHA-256 match that isn't the SHA-256, or the SHA-256 not matched");

    // Whatever follows the digest after a space or tab is the file's name.
    const QString tail = pasted.startsWith(u' ') || pasted.startsWith(u'\t') ? pasted : u' ' + pasted;
    for (const QString &d : {digests.md5, digests.sha256}) {
        const ChecksumMatch which = d == digests.md5 ? ChecksumMatch::md5 : ChecksumMatch::sha256;
        expect(d + tail, digests, which, "a digest followed by a name");
        expect(QStringLiteral("\r\n \t") + d.toUpper() + QStringLiteral("\t") + pasted, digests, which,
               "a digest in capitals between blanks");
    }
    // The last line of the checksum file, for names the tools need not escape.
    const bool plainName = !pasted.contains(u'\n') && !pasted.contains(u'\r') && !pasted.contains(u'\\');
    if (plainName)
        expect(digests.sha256 + QStringLiteral("  ") + pasted + u'\n', digests, ChecksumMatch::sha256,
               "the sha256sum line of a checksum file");
    return 0;
}
