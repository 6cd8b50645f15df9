#include "install/Installer.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"

#include <QFile>

#include <openssl/evp.h>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Installer {

namespace {

constexpr size_t chunkBytes = 1024 * 1024;

struct Fd
{
    int fd;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd); // a failure to close a file we only read changes nothing
    }
};

} // namespace

QString sha256(const QString &file)
{
    const Fd input{::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC)};
    if (input.fd < 0)
        throw PlatformErrors::fileRead(file, errno);

    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        throw PlatformError{QStringLiteral("OpenSSL"), 0, QStringLiteral("SHA-256 is not available.")};

    std::vector<unsigned char> buffer(chunkBytes);
    for (;;) {
        const ssize_t n = ::read(input.fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw PlatformErrors::fileRead(file, errno);
        }
        if (n == 0)
            break;
        EVP_DigestUpdate(context.get(), buffer.data(), size_t(n));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex());
}

QString verify(const QString &file, qint64 expectedSize, const std::optional<QString> &expectedSHA)
{
    struct stat st;
    if (::stat(QFile::encodeName(file).constData(), &st) != 0)
        throw PlatformErrors::fileRead(file, errno);
    const qint64 actualSize = qint64(st.st_size);

    if (expectedSize >= 1 && actualSize != expectedSize)
        throw FriendlyError(
            QStringLiteral("The downloaded file is the wrong size, so it may be incomplete. Please try again."),
            QStringLiteral("Expected %1 bytes, got %2.").arg(expectedSize).arg(actualSize));

    if (!expectedSHA)
        return QStringLiteral("Size matches. No checksum is published for this release, so only the size was checked.");

    const QString actual = sha256(file);
    if (actual != expectedSHA->toLower())
        throw FriendlyError(QStringLiteral("The downloaded file doesn't match the published checksum, so it was not "
                                           "installed. Please try again."),
                            QStringLiteral("Expected SHA-256 ") + *expectedSHA + QStringLiteral("\nGot      ")
                                + actual);
    return QStringLiteral("Size and SHA-256 checksum match the published values.");
}

} // namespace Installer
