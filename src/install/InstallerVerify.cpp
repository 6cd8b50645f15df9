#include "install/Installer.h"

#include "base/ByteCount.h"
#include "base/Paths.h"
#include "platform/FileOps.h"
#include "platform/FileUtil.h"

#include <QCryptographicHash>
#include <QDir>
#include <QMap>

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

QString verify(const QString &file, qint64 expectedSize, const std::optional<QString> &expectedSHA,
               const std::optional<QString> &computedSHA)
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

    const QString actual = computedSHA ? *computedSHA : sha256(file);
    if (actual != expectedSHA->toLower())
        throw FriendlyError(QStringLiteral("The downloaded file doesn't match the published checksum, so it was not "
                                           "installed. Please try again."),
                            QStringLiteral("Expected SHA-256 ") + *expectedSHA + QStringLiteral("\nGot      ")
                                + actual);
    return QStringLiteral("Size and SHA-256 checksum match the published values.");
}

} // namespace Installer

namespace Installer {

QString downloadFolder(const QString &url, qint64 size, const std::optional<QString> &digest)
{
    const QByteArray identity
        = url.toUtf8() + '\n' + QByteArray::number(size) + '\n' + digest.value_or(QString()).toUtf8();
    const QString key
        = QString::fromLatin1(QCryptographicHash::hash(identity, QCryptographicHash::Sha256).toHex().left(16));
    // Vantor's own folders: a link in their place is replaced, never cleaned through.
    const QDir downloads(QDir(Paths::vantorCachesFolder()).filePath(QStringLiteral("downloads")));
    FileOps::makeOwnFolder(Paths::vantorCachesFolder(), downloads.path());
    for (const QString &other : downloads.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (other != key)
            FileOps::removeItem(downloads.filePath(other)); // a link goes, never what it points to
    }
    const QString folder = downloads.filePath(key);
    FileOps::makeOwnFolder(Paths::vantorCachesFolder(), folder);
    return folder;
}

void checkFreeSpace(const QList<SpaceNeed> &needs)
{
    // Summed per volume: the download, the work folder and the app's folder are often one disk,
    // but the caches or the temporary folder may be another.
    QMap<quint64, QPair<QString, qint64>> volumes;
    for (const SpaceNeed &need : needs) {
        const auto volume = FileUtil::volumeOf(need.folder);
        if (!volume)
            continue; // the step's own write will say what is wrong
        auto &entry = volumes[*volume];
        if (entry.first.isEmpty())
            entry.first = FileUtil::nearestExisting(need.folder);
        entry.second = ByteCount::saturatingAdd(entry.second, need.bytes);
    }
    for (auto it = volumes.cbegin(); it != volumes.cend(); ++it) {
        const auto &[folder, needed] = *it;
        if (const auto free = FileUtil::freeSpace(folder); free && *free < needed)
            throw FriendlyError(QStringLiteral("Not enough free disk space. About %1 is needed while installing.")
                                    .arg(ByteCount::fileStyle(needed)),
                                QStringLiteral("Free: %1 on the disk of %2").arg(ByteCount::fileStyle(*free), folder));
    }
}

} // namespace Installer
