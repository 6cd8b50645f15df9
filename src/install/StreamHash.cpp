#include "install/StreamHash.h"

#include "base/PlatformError.h"

#include <QFile>

#include <openssl/evp.h>

#include <cerrno>
#include <vector>

struct StreamHash::Context
{
    EVP_MD_CTX *md = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(md); }
};

StreamHash::StreamHash()
    : m_context(std::make_unique<Context>())
{
    reset();
}

StreamHash::~StreamHash() = default;

void StreamHash::reset()
{
    EVP_DigestInit_ex(m_context->md, EVP_sha256(), nullptr);
}

void StreamHash::add(const char *bytes, qint64 size)
{
    if (size > 0)
        EVP_DigestUpdate(m_context->md, bytes, size_t(size));
}

void StreamHash::addFile(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PlatformErrors::fileRead(path, errno ? errno : EIO);
    std::vector<char> buffer(1024 * 1024);
    qint64 left = bytes;
    while (left > 0) {
        const qint64 n = file.read(buffer.data(), std::min<qint64>(left, qint64(buffer.size())));
        if (n <= 0)
            throw PlatformErrors::fileRead(path, EIO);
        add(buffer.data(), n);
        left -= n;
    }
}

QString StreamHash::finish()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->md, digest, &length);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex());
}
