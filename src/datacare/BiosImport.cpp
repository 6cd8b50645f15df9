#include "datacare/BiosImport.h"

#include "base/ByteCount.h"
#include "base/Paths.h"
#include "base/PlatformError.h"
#include "platform/FileOps.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUuid>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fts.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace BiosImport {

namespace {

// A file or zip found by the walk, read in the second pass.
struct Found
{
    QString path;
    bool zip = false;
    bool top = false; // named by the user: a link there is theirs to follow
    qint64 size = 0;
};

bool isHidden(const QString &name)
{
    // ".." in a zip entry's name is not hidden: the name is never used to write anything.
    return (name.startsWith(QLatin1Char('.')) && name != QStringLiteral("..")) || name == QStringLiteral("__MACOSX");
}

bool looksLikeZip(const QString &path)
{
    return path.endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive);
}

QString tooLarge()
{
    return QStringLiteral("too large to be a BIOS file");
}

class Gatherer
{
public:
    Gatherer(const QList<Known> &known, const std::function<void(qint64, qint64)> &progress)
        : m_known(known)
        , m_progress(progress)
    {
    }

    void walk(const QStringList &paths)
    {
        for (const QString &path : paths) {
            if (full())
                break;
            struct stat st;
            if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
                m_result.skipped.append({path, QStringLiteral("not found")});
                continue;
            }
            if (S_ISDIR(st.st_mode))
                walkFolder(path);
            else if (S_ISREG(st.st_mode))
                add({path, looksLikeZip(path), true, qint64(st.st_size)});
            else
                m_result.skipped.append({path, QStringLiteral("not a regular file")});
        }
    }

    Gathered read()
    {
        for (const Found &found : std::as_const(m_found)) {
            if (m_stopped)
                break;
            if (found.zip)
                readZip(found);
            else
                readFile(found);
            m_done += found.size;
            report();
        }
        return std::move(m_result);
    }

private:
    bool full() const { return m_entries >= maxEntries; }

    // Counts one more entry looked at; false (said once) when the import has looked at enough.
    bool count(const QString &where)
    {
        if (++m_entries <= maxEntries)
            return true;
        if (!m_stopped)
            m_result.skipped.append(
                {where, QStringLiteral("the import looks at %L1 entries at most; the rest were not looked at")
                            .arg(maxEntries)});
        m_stopped = true;
        return false;
    }

    void add(const Found &found)
    {
        if (!count(found.path))
            return;
        m_found.append(found);
        m_total += found.size;
    }

    void walkFolder(const QString &root)
    {
        const QByteArray native = QFile::encodeName(root);
        char *paths[] = {const_cast<char *>(native.constData()), nullptr};
        // Physical: a link inside is never followed. The folder named may itself be a link.
        FTS *tree = ::fts_open(paths, FTS_PHYSICAL | FTS_COMFOLLOW | FTS_NOCHDIR, nullptr);
        if (!tree) {
            m_result.skipped.append({root, QStringLiteral("can't be read")});
            return;
        }
        while (FTSENT *entry = ::fts_read(tree)) {
            // A folder that can't be listed is said like a file that can't be read.
            if (entry->fts_info == FTS_DNR || entry->fts_info == FTS_ERR) {
                m_result.skipped.append({QFile::decodeName(QByteArray(entry->fts_path, qsizetype(entry->fts_pathlen))),
                                         QStringLiteral("can't be read")});
                continue;
            }
            if (entry->fts_level == 0 || entry->fts_info == FTS_DP)
                continue;
            const QString name = QFile::decodeName(QByteArray(entry->fts_name, qsizetype(entry->fts_namelen)));
            const QString path = QFile::decodeName(QByteArray(entry->fts_path, qsizetype(entry->fts_pathlen)));
            const bool isFolder = entry->fts_info == FTS_D || entry->fts_info == FTS_DC || entry->fts_info == FTS_DNR;
            if (isHidden(name)) {
                if (isFolder)
                    ::fts_set(tree, entry, FTS_SKIP);
                continue;
            }
            if (isFolder) {
                if (!count(path))
                    break;
                continue;
            }
            if (entry->fts_info == FTS_F)
                add({path, looksLikeZip(name), false, qint64(entry->fts_statp->st_size)});
            else if (count(path))
                m_result.skipped.append({path, QStringLiteral("not a regular file")});
            if (m_stopped)
                break;
        }
        ::fts_close(tree);
    }

    // Opened without waiting on a FIFO, and only when it is (still) a regular file.
    int open(const Found &found)
    {
        const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (found.top ? 0 : O_NOFOLLOW);
        const int fd = ::open(QFile::encodeName(found.path).constData(), flags);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            if (fd >= 0)
                ::close(fd);
            m_result.skipped.append({found.path, QStringLiteral("not a regular file")});
            return -1;
        }
        return fd;
    }

    // Whether `bytes` more may be read; says once, and stops the import, when not.
    bool budget(const QString &where, qint64 bytes)
    {
        if (m_read + bytes <= maxReadBytes) {
            m_read += bytes;
            return true;
        }
        m_result.skipped.append({where, QStringLiteral("the import reads %1 at most; the rest were not looked at")
                                            .arg(ByteCount::fileStyle(maxReadBytes))});
        m_stopped = true;
        return false;
    }

    void readFile(const Found &found)
    {
        const int fd = open(found);
        if (fd < 0)
            return;
        struct stat st;
        ::fstat(fd, &st);
        // Judged by the size it has on disk: a sparse file is never read for its holes.
        if (st.st_size > maxFileBytes) {
            ::close(fd);
            m_result.skipped.append({found.path, tooLarge()});
            return;
        }
        if (!budget(found.path, st.st_size)) {
            ::close(fd);
            return;
        }
        QByteArray bytes;
        bytes.reserve(qsizetype(st.st_size));
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                m_result.skipped.append({found.path, QStringLiteral("can't be read")});
                ::close(fd);
                return;
            }
            if (n == 0 || bytes.size() + n > maxFileBytes)
                break;
            bytes.append(buffer, n);
        }
        ::close(fd);
        judge(found.path, std::move(bytes));
    }

    void readZip(const Found &found)
    {
        const int fd = open(found);
        if (fd < 0)
            return;
        const std::unique_ptr<archive, int (*)(archive *)> reader(archive_read_new(), archive_read_free);
        archive_read_support_format_zip(reader.get());
        if (archive_read_open_fd(reader.get(), fd, 64 * 1024) != ARCHIVE_OK) {
            ::close(fd);
            m_result.skipped.append({found.path, QStringLiteral("isn't a zip Vantor can read")});
            return;
        }
        const QString zipName = QFileInfo(found.path).fileName();
        archive_entry *entry = nullptr;
        for (;;) {
            const int status = archive_read_next_header(reader.get(), &entry);
            if (status == ARCHIVE_EOF)
                break;
            if (status < ARCHIVE_WARN) {
                m_result.skipped.append({found.path, QStringLiteral("is damaged; the rest of it was not read")});
                break;
            }
            const char *raw = archive_entry_pathname(entry);
            const QString name = QString::fromUtf8(raw ? raw : "");
            const QString where = zipName + QStringLiteral(": ") + name;
            if (!count(where))
                break;
            const QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
            // An entry whose size comes only after its data (no central directory read here) can
            // only be passed over by unpacking it: what that unpacks counts against the budget.
            const bool sizeKnown = archive_entry_size_is_set(entry);
            if (archive_entry_filetype(entry) == AE_IFDIR
                || std::any_of(parts.begin(), parts.end(), [](const QString &part) { return isHidden(part); })) {
                if (!sizeKnown && !drain(reader.get(), where))
                    break;
                continue;
            }
            if (archive_entry_filetype(entry) != AE_IFREG) {
                m_result.skipped.append({where, QStringLiteral("not a regular file")});
                if (!sizeKnown && !drain(reader.get(), where))
                    break;
                continue;
            }
            if (sizeKnown && archive_entry_size(entry) > maxFileBytes) {
                m_result.skipped.append({where, tooLarge()});
                continue;
            }
            // What an entry unpacks to is counted as it comes, whatever its header says.
            QByteArray bytes;
            bool whole = true;
            for (;;) {
                const void *block = nullptr;
                size_t size = 0;
                la_int64_t offset = 0;
                const int read = archive_read_data_block(reader.get(), &block, &size, &offset);
                if (read == ARCHIVE_EOF)
                    break;
                if (read < ARCHIVE_WARN) {
                    m_result.skipped.append({where, QStringLiteral("can't be read")});
                    whole = false;
                    break;
                }
                if (bytes.size() + qint64(size) > maxFileBytes) {
                    m_result.skipped.append({where, tooLarge()});
                    whole = false;
                    if (!sizeKnown)
                        drain(reader.get(), where);
                    break;
                }
                if (!budget(where, qint64(size))) {
                    whole = false;
                    break;
                }
                bytes.append(static_cast<const char *>(block), qsizetype(size));
            }
            if (whole)
                judge(where, std::move(bytes));
            if (m_stopped)
                break;
            const qint64 consumed = archive_filter_bytes(reader.get(), -1);
            m_progressInZip = std::min(consumed, found.size);
            report();
        }
        m_progressInZip = 0;
        ::close(fd);
    }

    // Unpacks the rest of the current entry without keeping it, each block counted against the
    // budget; false (the import stopped) when the budget ran out or the entry is damaged.
    bool drain(archive *reader, const QString &where)
    {
        for (;;) {
            const void *block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            const int read = archive_read_data_block(reader, &block, &size, &offset);
            if (read == ARCHIVE_EOF)
                return true;
            if (read < ARCHIVE_WARN) {
                m_result.skipped.append({where, QStringLiteral("can't be read")});
                return true;
            }
            if (!budget(where, qint64(size)))
                return false;
        }
    }

    void judge(const QString &where, QByteArray bytes)
    {
        const QString md5 = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
        bool recognised = false;
        QString badOf;
        for (const Known &dump : m_known) {
            if (dump.md5 != md5)
                continue;
            if (dump.bad) {
                badOf = dump.name;
                continue;
            }
            recognised = true;
            if (const auto first = m_sources.constFind(dump.name); first != m_sources.cend()) {
                if (*first != where)
                    m_result.skipped.append({where, QStringLiteral("the same as %1").arg(*first)});
                continue;
            }
            m_sources.insert(dump.name, where);
            m_result.matches.append({dump.name, where, bytes});
        }
        if (recognised)
            return;
        if (!badOf.isEmpty())
            m_result.skipped.append({where, QStringLiteral("a known bad dump of %1").arg(badOf)});
        else
            ++m_result.unrecognised;
    }

    void report()
    {
        if (m_progress)
            m_progress(std::min(m_done + m_progressInZip, m_total), m_total);
    }

    const QList<Known> &m_known;
    const std::function<void(qint64, qint64)> &m_progress;
    QList<Found> m_found;
    QMap<QString, QString> m_sources; // name -> where its match was found
    Gathered m_result;
    int m_entries = 0;
    bool m_stopped = false;
    qint64 m_read = 0;
    qint64 m_total = 0;
    qint64 m_done = 0;
    qint64 m_progressInZip = 0;
};

const QByteArray temporaryPrefix = QByteArrayLiteral(".vantor-bios-");

// The half-written copies an import killed mid-write left: Vantor's own names, and only files or
// links (never followed), removed before anything new is written.
void removeLeftovers(const FileOps::Folder &bios)
{
    const int fd = ::openat(bios.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *listing = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!listing) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    QList<QByteArray> stale;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name.startsWith(temporaryPrefix))
            stale.append(name);
    }
    for (const QByteArray &name : std::as_const(stale)) {
        struct stat st;
        if (::fstatat(bios.fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
            ::unlinkat(bios.fd(), name.constData(), 0);
    }
    ::closedir(listing);
}

// The BIOS folder, opened so that nothing below it is followed.
FileOps::Folder openFolder()
{
    const QString support = Paths::supportFolder();
    const QString bios = QDir(support).filePath(QStringLiteral("BIOS"));
    if (QFileInfo(bios).isSymLink())
        return FileOps::Folder::inside(bios, QString(), FileOps::Folder::Missing::fail);
    FileOps::makePath(support);
    return FileOps::Folder::inside(support, QStringLiteral("BIOS"), FileOps::Folder::Missing::make);
}

} // namespace

Gathered gather(const QStringList &paths, const QList<Known> &known,
                const std::function<void(qint64 done, qint64 total)> &progress)
{
    Gatherer gatherer(known, progress);
    gatherer.walk(paths);
    return gatherer.read();
}

QString folder()
{
    return openFolder().path();
}

There whatIsThere(const QString &name, const QList<Known> &known)
{
    const FileOps::Folder bios = openFolder();
    struct stat st;
    if (::fstatat(bios.fd(), QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return There::nothing;
    const auto bytes = FileOps::readRegularFile(bios.path() + QLatin1Char('/') + name, maxFileBytes);
    if (!bytes)
        return There::other;
    const QString md5 = QString::fromLatin1(QCryptographicHash::hash(*bytes, QCryptographicHash::Md5).toHex());
    const bool good = std::any_of(known.begin(), known.end(),
                                  [&](const Known &dump) { return !dump.bad && dump.name == name && dump.md5 == md5; });
    return good ? There::known : There::other;
}

void place(const QList<Match> &matches)
{
    const FileOps::Folder bios = openFolder();
    removeLeftovers(bios);
    for (const Match &match : matches) {
        const QString path = bios.path() + QLatin1Char('/') + match.name;
        const QByteArray temporary = temporaryPrefix + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
        const int fd
            = ::openat(bios.fd(), temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0)
            throw PlatformErrors::fileWrite(path, errno);
        const char *at = match.bytes.constData();
        qsizetype left = match.bytes.size();
        int error = 0;
        while (left > 0) {
            const ssize_t n = ::write(fd, at, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = errno;
                break;
            }
            at += n;
            left -= n;
        }
        if (error == 0)
            error = FileOps::flushToDisk(fd);
        ::close(fd);
        if (error == 0
            && ::renameat(bios.fd(), temporary.constData(), bios.fd(), QFile::encodeName(match.name).constData()) != 0)
            error = errno;
        if (error != 0) {
            ::unlinkat(bios.fd(), temporary.constData(), 0);
            throw PlatformErrors::fileWrite(path, error);
        }
    }
}

} // namespace BiosImport
