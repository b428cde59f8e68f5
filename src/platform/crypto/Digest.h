#pragma once
// Incremental MD5 and SHA-256, computed by OpenSSL; this header keeps OpenSSL's
// types out of the rest of the program.
//
// Ownership: a Digest owns its hashing state. Movable, not copyable.
// Threading: one Digest is used by one thread at a time; distinct Digests are
// independent and may run on different threads at once. A Digest may be
// handed to another thread when the hand-over itself synchronises (a mutex,
// a thread join).
// Cancellation: none; update() works on the caller's buffer and returns.

#include <QByteArray>

#include <cstddef>
#include <memory>

namespace Crypto {

class Digest
{
public:
    enum class Algorithm { md5, sha256 };

    // Throws std::runtime_error when the library can't provide the algorithm
    // (MD5 is missing under a FIPS-only configuration, for instance).
    explicit Digest(Algorithm algorithm);
    ~Digest();
    Digest(Digest &&) noexcept;
    Digest &operator=(Digest &&) noexcept; // a moved-from Digest may only be destroyed or assigned

    // Adds `size` bytes. Throws std::runtime_error if the library fails.
    void update(const void *data, std::size_t size);
    // The digest of everything added so far, as raw bytes (16 for MD5, 32 for
    // SHA-256); afterwards the Digest starts again from empty input.
    QByteArray finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace Crypto
