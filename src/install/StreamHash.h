#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// SHA-256 fed piece by piece as bytes arrive (OpenSSL EVP), so that a download is verified
// without reading the file a second time.
class StreamHash
{
public:
    StreamHash();
    ~StreamHash();
    StreamHash(const StreamHash &) = delete;
    StreamHash &operator=(const StreamHash &) = delete;

    void add(const char *bytes, qint64 size);
    void add(const QByteArray &bytes) { add(bytes.constData(), bytes.size()); }
    // Feeds the first `bytes` of a file (the part of a download kept from an earlier attempt).
    // Throws PlatformError when it cannot be read.
    void addFile(const QString &path, qint64 bytes);
    // Starts again from nothing.
    void reset();
    // 64 lower-case hex digits of everything added; the hash is spent afterwards.
    QString finish();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
