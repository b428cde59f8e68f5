#include "platform/crypto/Digest.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <stdexcept>
#include <string>

namespace Crypto {

namespace {

[[noreturn]] void fail(const char *what)
{
    std::string message = what;
    if (const unsigned long code = ERR_get_error()) {
        char detail[256];
        ERR_error_string_n(code, detail, sizeof detail);
        message += ": ";
        message += detail;
    }
    ERR_clear_error();
    throw std::runtime_error(message);
}

} // namespace

struct Digest::State
{
    EVP_MD *md = nullptr;
    EVP_MD_CTX *ctx = nullptr;

    ~State()
    {
        EVP_MD_CTX_free(ctx);
        EVP_MD_free(md);
    }
};

Digest::Digest(Algorithm algorithm) : m_state(std::make_unique<State>())
{
    const char *name = algorithm == Algorithm::md5 ? "MD5" : "SHA256";
    // Fetched once here rather than implicitly on every init.
    m_state->md = EVP_MD_fetch(nullptr, name, nullptr);
    if (!m_state->md)
        fail(algorithm == Algorithm::md5 ? "MD5 is not available" : "SHA-256 is not available");
    m_state->ctx = EVP_MD_CTX_new();
    if (!m_state->ctx)
        throw std::bad_alloc();
    if (EVP_DigestInit_ex(m_state->ctx, m_state->md, nullptr) != 1)
        fail("Couldn't start a digest");
}

Digest::~Digest() = default;
Digest::Digest(Digest &&) noexcept = default;
Digest &Digest::operator=(Digest &&) noexcept = default;

void Digest::update(const void *data, std::size_t size)
{
    if (EVP_DigestUpdate(m_state->ctx, data, size) != 1)
        fail("Couldn't compute a digest");
}

QByteArray Digest::finish()
{
    QByteArray out(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_state->ctx, reinterpret_cast<unsigned char *>(out.data()), &length) != 1)
        fail("Couldn't compute a digest");
    out.truncate(int(length));
    if (EVP_DigestInit_ex(m_state->ctx, m_state->md, nullptr) != 1)
        fail("Couldn't start a digest");
    return out;
}

} // namespace Crypto
