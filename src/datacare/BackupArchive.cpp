#include "datacare/BackupArchive.h"
#include "datacare/UnreadableZip.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "datacare/CentralDirectory.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUuid>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <clocale>
#include <ctime>
#include <fcntl.h>
#include <fts.h>
#include <locale.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace BackupArchive {

namespace {

constexpr size_t chunkBytes = 1024 * 1024;

// libarchive converts names through the C library's character set. Under a locale that is not
// UTF-8 (LC_ALL=C in a script) non-ASCII names would be lost, so every operation runs with a
// UTF-8 character set on its own thread, whatever the process's locale says.
class Utf8Names
{
public:
    Utf8Names()
    {
        for (const char *name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            m_locale = ::newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
            if (m_locale)
                break;
        }
        if (m_locale)
            m_previous = ::uselocale(m_locale);
    }
    ~Utf8Names()
    {
        if (m_locale) {
            ::uselocale(m_previous);
            ::freelocale(m_locale);
        }
    }
    Utf8Names(const Utf8Names &) = delete;
    Utf8Names &operator=(const Utf8Names &) = delete;

private:
    locale_t m_locale = static_cast<locale_t>(nullptr);
    locale_t m_previous = static_cast<locale_t>(nullptr);
};

using ArchivePtr = std::unique_ptr<archive, int (*)(archive *)>;
using EntryPtr = std::unique_ptr<archive_entry, void (*)(archive_entry *)>;

UnreadableZip cantRead(const QString &zip, const QString &reason)
{
    return UnreadableZip(zip, reason);
}

QString errorText(archive *a)
{
    const char *text = archive_error_string(a);
    return text ? QString::fromUtf8(text) : QStringLiteral("unknown error");
}

// The seekable zip reader: names from the central directory's view of each entry, read the same
// way for judging and for unpacking. Names are taken as UTF-8 whatever the locale.
ArchivePtr openReader(const QString &zip)
{
    if (!QFileInfo(zip).isFile())
        throw cantRead(zip, QFileInfo::exists(zip) ? QStringLiteral("Not a file.") : QStringLiteral("No such file."));
    ArchivePtr reader(archive_read_new(), archive_read_free);
    archive_read_support_format_zip_seekable(reader.get());
    archive_read_set_format_option(reader.get(), "zip", "hdrcharset", "UTF-8");
    if (archive_read_open_filename(reader.get(), QFile::encodeName(zip).constData(), 64 * 1024) != ARCHIVE_OK)
        throw cantRead(zip, errorText(reader.get()));
    return reader;
}

// The next entry, or null at the end. Throws on a damaged archive.
archive_entry *nextEntry(archive *reader, const QString &zip)
{
    archive_entry *entry = nullptr;
    const int status = archive_read_next_header(reader, &entry);
    if (status == ARCHIVE_EOF)
        return nullptr;
    if (status < ARCHIVE_WARN)
        throw cantRead(zip, errorText(reader));
    return entry;
}

Entry describe(archive_entry *entry, const QString &zip)
{
    const char *name = archive_entry_pathname_utf8(entry);
    if (!name || !*name)
        throw cantRead(zip, QStringLiteral("An entry has no name that can be read."));
    Entry described;
    described.name = QString::fromUtf8(name);
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG: described.type = Entry::Type::file; break;
    case AE_IFDIR: described.type = Entry::Type::folder; break;
    case AE_IFLNK:
        described.type = Entry::Type::link;
        if (const char *target = archive_entry_symlink_utf8(entry))
            described.linkTarget = QString::fromUtf8(target);
        break;
    default: described.type = Entry::Type::other;
    }
    described.size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
    described.modified = archive_entry_mtime_is_set(entry) ? qint64(archive_entry_mtime(entry)) : 0;
    return described;
}

// Whether the directory's raw name and libarchive's name of an entry are the same name.
// libarchive composes every UTF-8 name it reads (NFC), so they are compared composed; the raw
// name is the one used.
bool sameName(QByteArray raw, QString read)
{
    while (raw.endsWith('/'))
        raw.chop(1);
    while (read.endsWith(QLatin1Char('/')))
        read.chop(1);
    return QString::fromUtf8(raw).normalized(QString::NormalizationForm_C)
           == read.normalized(QString::NormalizationForm_C);
}

// A file's or folder's mode as a user's own files have it: never set-user-ID, set-group-ID or
// sticky, never writable by others, always readable and writable by its owner (a folder also
// enterable); program bits only where they were.
mode_t ordinaryMode(mode_t mode, bool folder)
{
    return (mode & 0755) | (folder ? 0700 : 0600);
}

// --- writing

struct Writer
{
    archive *out;
    QString zip;
    const Progress &progress;
    qint64 done = 0;
    qsizetype entries = 0;
    // The zip being written, by device and inode: a backup folder chosen inside a folder being
    // backed up would otherwise read the zip into itself.
    dev_t ownDevice = 0;
    ino_t ownInode = 0;

    [[noreturn]] void fail() const
    {
        const int error = archive_errno(out);
        if (error > 0)
            throw PlatformErrors::fileWrite(zip, error);
        throw FriendlyError(QStringLiteral("The backup could not be written."),
                            zip + QLatin1Char('\n') + errorText(out));
    }

    void header(archive_entry *entry)
    {
        if (archive_write_header(out, entry) < ARCHIVE_WARN)
            fail();
        ++entries;
    }

    // Adds `path` under the name `stored`, and what a folder holds below it.
    void add(const QString &path, const QString &stored, bool followLink)
    {
        const QByteArray native = QFile::encodeName(path);
        struct stat st;
        if ((followLink ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st)) != 0)
            throw PlatformErrors::fileRead(path, errno);
        if (ownInode != 0 && st.st_dev == ownDevice && st.st_ino == ownInode)
            return;

        EntryPtr entry(archive_entry_new(), archive_entry_free);
        // Stored byte for byte, never normalised: a name the file system holds decomposed (NFD) must
        // come back as the same name, not as a second file beside it.
        archive_entry_set_pathname(entry.get(), QFile::encodeName(stored).constData());
        archive_entry_set_perm(entry.get(),
                               S_ISLNK(st.st_mode) ? st.st_mode & 0777 : ordinaryMode(st.st_mode, S_ISDIR(st.st_mode)));
        archive_entry_set_mtime(entry.get(), st.st_mtime, 0);

        if (S_ISLNK(st.st_mode)) {
            std::vector<char> target(size_t(st.st_size) + 1 + 4096);
            const ssize_t length = ::readlink(native.constData(), target.data(), target.size() - 1);
            if (length < 0)
                throw PlatformErrors::fileRead(path, errno);
            archive_entry_set_filetype(entry.get(), AE_IFLNK);
            archive_entry_set_symlink(entry.get(), QByteArray(target.data(), int(length)).constData());
            header(entry.get());
        } else if (S_ISDIR(st.st_mode)) {
            archive_entry_set_filetype(entry.get(), AE_IFDIR);
            header(entry.get());
            const QStringList children = QDir(path).entryList(
                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
            for (const QString &child : children)
                add(path + QLatin1Char('/') + child, stored + QLatin1Char('/') + child, false);
        } else if (S_ISREG(st.st_mode)) {
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_size(entry.get(), st.st_size);
            header(entry.get());
            copyData(path, native, followLink);
        }
        // Sockets, pipes and devices are not OpenEmu data: they are left out.
    }

    void addBytes(const QString &stored, const QByteArray &bytes)
    {
        EntryPtr entry(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(entry.get(), QFile::encodeName(stored).constData());
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_mtime(entry.get(), ::time(nullptr), 0);
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_size(entry.get(), bytes.size());
        header(entry.get());
        if (archive_write_data(out, bytes.constData(), size_t(bytes.size())) < 0)
            fail();
        done += bytes.size();
    }

    void copyData(const QString &path, const QByteArray &native, bool followLink)
    {
        // Never waits on something swapped in since it was looked at (a FIFO, a device).
        const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW));
        if (fd < 0)
            throw PlatformErrors::fileRead(path, errno);
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            throw PlatformErrors::fileRead(path, EINVAL);
        }
        std::vector<char> buffer(chunkBytes);
        for (;;) {
            const ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                const int error = errno;
                ::close(fd);
                throw PlatformErrors::fileRead(path, error);
            }
            if (n == 0)
                break;
            if (archive_write_data(out, buffer.data(), size_t(n)) < 0) {
                ::close(fd);
                fail();
            }
            done += n;
            if (progress)
                progress(done);
        }
        ::close(fd);
    }
};

// --- unpacking

const QByteArray temporaryPrefix = QByteArrayLiteral(".vantor-restore-");

QByteArray temporaryName()
{
    return temporaryPrefix + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
}

bool isTemporaryName(const char *name)
{
    const QByteArray text(name);
    return text.startsWith(temporaryPrefix) && text.size() == temporaryPrefix.size() + 36
           && !QUuid::fromString(QLatin1String(text.mid(temporaryPrefix.size()))).isNull();
}

// Renames the temporary item over `name` in the folder: a link there is replaced, never followed.
void replaceWith(const FileOps::Folder &folder, const QByteArray &temporary, const QString &name)
{
    if (::renameat(folder.fd(), temporary.constData(), folder.fd(), QFile::encodeName(name).constData()) != 0) {
        const int error = errno;
        ::unlinkat(folder.fd(), temporary.constData(), 0);
        throw PlatformErrors::fileWrite(folder.path() + QLatin1Char('/') + name, error);
    }
}

qint64 writeFileEntry(archive *reader, archive_entry *entry, const FileOps::Folder &folder, const QString &name,
                      const QString &zip, const std::function<void(qint64)> &wrote)
{
    const QString path = folder.path() + QLatin1Char('/') + name;
    const QByteArray temporary = temporaryName();
    const int fd
        = ::openat(folder.fd(), temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        throw PlatformErrors::fileWrite(path, errno);
    const bool capped = archive_entry_size_is_set(entry);
    const qint64 limit = capped ? archive_entry_size(entry) : 0;
    qint64 written = 0;
    auto abandon = [&](auto &&failure) {
        ::close(fd);
        ::unlinkat(folder.fd(), temporary.constData(), 0);
        throw failure;
    };
    for (;;) {
        const void *block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN)
            abandon(cantRead(zip, errorText(reader)));
        if (capped && written + qint64(size) > limit)
            abandon(cantRead(zip, QStringLiteral("%1 holds more than the %2 bytes it lists.")
                                      .arg(QString::fromUtf8(archive_entry_pathname_utf8(entry)))
                                      .arg(limit)));
        const char *bytes = static_cast<const char *>(block);
        size_t left = size;
        while (left > 0) {
            const ssize_t n = ::write(fd, bytes, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                abandon(PlatformErrors::fileWrite(path, errno));
            bytes += n;
            left -= size_t(n);
        }
        written += qint64(size);
        wrote(qint64(size));
    }
    ::fchmod(fd, ordinaryMode(archive_entry_perm(entry) ? archive_entry_perm(entry) : 0644, false));
    const struct timespec times[2] = {{archive_entry_mtime(entry), 0}, {archive_entry_mtime(entry), 0}};
    ::futimens(fd, times);
    if (::close(fd) != 0)
        abandon(PlatformErrors::fileWrite(path, errno));
    FileOps::checkpoint(QStringLiteral("restore ") + path); // a kill here leaves the temporary
    replaceWith(folder, temporary, name);
    return written;
}

} // namespace

QList<Entry> list(const QString &zip)
{
    const Utf8Names names;
    ArchivePtr reader = openReader(zip);
    QList<Entry> entries;
    while (archive_entry *entry = nextEntry(reader.get(), zip))
        entries.append(describe(entry, zip));

    // The names read above come from the local headers; the directory must say the same, and
    // give each entry the size its header gives (a zip read one way by one tool and another way
    // by the next is not trusted).
    const QList<CentralDirectory::Listed> central = CentralDirectory::entries(zip);
    if (central.size() != entries.size())
        throw cantRead(zip, QStringLiteral("The zip's directory lists %1 entries, its headers %2.")
                                .arg(central.size())
                                .arg(entries.size()));
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (!sameName(central[i].name, entries[i].name))
            throw cantRead(zip,
                           QStringLiteral("An entry is named \"%1\" in the zip's directory but \"%2\" in its header.")
                               .arg(QString::fromUtf8(central[i].name), entries[i].name));
        entries[i].name = QString::fromUtf8(central[i].name); // as stored: libarchive composes names
        if (central[i].localSize && *central[i].localSize != central[i].size)
            throw cantRead(zip, QStringLiteral("%1 lists %2 bytes in the zip's directory but %3 in its header.")
                                    .arg(entries[i].name)
                                    .arg(central[i].size)
                                    .arg(*central[i].localSize));
    }
    return entries;
}

Summary write(const QString &zip, const QList<Root> &roots, const QList<Note> &notes, const Progress &progress)
{
    const Utf8Names names;
    ArchivePtr out(archive_write_new(), archive_write_free);
    archive_write_set_format_zip(out.get());
    archive_write_set_format_option(out.get(), "zip", "hdrcharset", "UTF-8");
    if (archive_write_open_filename(out.get(), QFile::encodeName(zip).constData()) != ARCHIVE_OK)
        throw PlatformErrors::fileWrite(zip, archive_errno(out.get()) > 0 ? archive_errno(out.get()) : EIO);
    Writer writer{out.get(), zip, progress};
    struct stat own;
    if (::stat(QFile::encodeName(zip).constData(), &own) == 0) {
        writer.ownDevice = own.st_dev;
        writer.ownInode = own.st_ino;
    }
    for (const Note &note : notes)
        writer.addBytes(note.stored, note.bytes);
    for (const Root &root : roots)
        writer.add(root.source, root.stored, true);
    if (archive_write_close(out.get()) != ARCHIVE_OK)
        writer.fail();
    return {writer.entries, writer.done};
}

Summary readBack(const QString &zip)
{
    const Utf8Names names;
    ArchivePtr reader = openReader(zip);
    Summary summary;
    std::vector<char> buffer(chunkBytes);
    while (archive_entry *entry = nextEntry(reader.get(), zip)) {
        describe(entry, zip);
        ++summary.entries;
        for (;;) {
            const la_ssize_t n = archive_read_data(reader.get(), buffer.data(), buffer.size());
            if (n < 0)
                throw cantRead(zip, errorText(reader.get()));
            if (n == 0)
                break;
            summary.bytes += n;
        }
    }
    return summary;
}

namespace {

// `pattern` ("/"-separated, "*" standing for any one name) matched against the start of
// `relative`: the names it matched, or none.
std::optional<QStringList> matchStart(const QString &pattern, const QString &relative)
{
    const QStringList want = pattern.split(QLatin1Char('/'));
    const QStringList have = relative.split(QLatin1Char('/'));
    if (have.size() < want.size())
        return std::nullopt;
    for (qsizetype i = 0; i < want.size(); ++i) {
        if (want[i] != QStringLiteral("*") && want[i] != have[i])
            return std::nullopt;
    }
    return have.mid(0, want.size());
}

} // namespace

QString Placement::topFor(const QString &relative, bool isFolder) const
{
    QString top;
    for (const Mapped &folder : folders) {
        const auto matched = matchStart(folder.stored, relative);
        if (!matched)
            continue;
        const QString candidate = matched->join(QLatin1Char('/'));
        if (candidate.size() > top.size() && (isFolder || candidate != relative))
            top = candidate;
    }
    return top;
}

QString Placement::diskOf(const QString &top) const
{
    for (const Mapped &folder : folders) {
        const auto matched = matchStart(folder.stored, top);
        if (!matched || matched->size() != top.count(QLatin1Char('/')) + 1)
            continue;
        // Each "*" of the place on disk takes the name it stood for in the zip, in order.
        QStringList disk = folder.disk.split(QLatin1Char('/'));
        const QStringList pattern = folder.stored.split(QLatin1Char('/'));
        qsizetype next = 0;
        for (QString &part : disk) {
            if (part != QStringLiteral("*"))
                continue;
            while (next < pattern.size() && pattern[next] != QStringLiteral("*"))
                ++next;
            if (next < pattern.size())
                part = matched->at(next++);
        }
        return disk.join(QLatin1Char('/'));
    }
    return QDir(base).filePath(top);
}

QString Placement::realTop(const QString &top) const
{
    return FileOps::resolveOnDisk(diskOf(top), QString()).value_or(QString());
}

QStringList Placement::blocked(const QList<Entry> &entries) const
{
    QStringList blocked;
    QSet<QString> checked;
    for (const Entry &entry : entries) {
        QString relative = entry.name;
        while (relative.endsWith(QLatin1Char('/')))
            relative.chop(1);
        const bool isFolder = entry.type == Entry::Type::folder;
        const QString top = topFor(relative, isFolder);
        if (top.isEmpty() || relative == top || skipped.contains(relative))
            continue;
        const QString below = relative.mid(top.size() + 1);
        const QString folder = isFolder ? below : below.section(QLatin1Char('/'), 0, -2);
        if (!checked.contains(top + QLatin1Char('/') + folder)) {
            checked.insert(top + QLatin1Char('/') + folder);
            if (const auto link = FileOps::firstLinkBelow(diskOf(top), folder))
                blocked.append(*link);
        }
        if (entry.type == Entry::Type::link) {
            const auto lands
                = FileOps::resolveOnDisk(QDir(base).filePath(top) + QLatin1Char('/') + folder, entry.linkTarget);
            if (!lands || !FileOps::isInside(*lands, realTop(top)))
                blocked.append(entry.name + QStringLiteral(" -> ") + entry.linkTarget);
        }
    }
    return blocked;
}

QStringList extract(const QString &zip, const Placement &placement, const Progress &progress)
{
    QSet<QPair<quint64, quint64>> written; // the files this restore made, by device and inode
    QStringList notWritten;
    const Utf8Names names;
    ArchivePtr reader = openReader(zip);
    qint64 done = 0;
    const auto wrote = [&](qint64 bytes) {
        done += bytes;
        if (progress)
            progress(done);
    };
    const QList<CentralDirectory::Listed> stored = CentralDirectory::entries(zip);
    for (qsizetype index = 0;; ++index) {
        archive_entry *entry = nextEntry(reader.get(), zip);
        if (!entry)
            break;
        Entry described = describe(entry, zip);
        if (index >= stored.size() || !sameName(stored[index].name, described.name))
            throw cantRead(zip, QStringLiteral("The zip changed while it was being restored."));
        described.name = QString::fromUtf8(stored[index].name);
        QString relative = described.name;
        while (relative.endsWith(QLatin1Char('/')))
            relative.chop(1);
        if (placement.skipped.contains(relative))
            continue; // a note about the backup, not OpenEmu's data
        const bool isFolder = described.type == Entry::Type::folder;
        const QString top = placement.topFor(relative, isFolder);
        if (top.isEmpty())
            throw cantRead(zip, QStringLiteral("%1 has no place in a backup.").arg(described.name));
        // The folders down to the top are the user's, followed where they are links; below the
        // top nothing is passed through a link.
        const QString topOnDisk = placement.diskOf(top);
        FileOps::makePath(topOnDisk);
        if (relative == top)
            continue;
        const QString below = relative.mid(top.size() + 1);
        const QString name = below.section(QLatin1Char('/'), -1);
        const QString parentBelow = below.section(QLatin1Char('/'), 0, -2);
        switch (described.type) {
        case Entry::Type::folder: FileOps::Folder::inside(topOnDisk, below, FileOps::Folder::Missing::make); break;
        case Entry::Type::file: {
            const auto folder = FileOps::Folder::inside(topOnDisk, parentBelow, FileOps::Folder::Missing::make);
            // Two names this file system takes for one (they differ in case or Unicode form, and
            // the Mac's file system ignores both): the first stays, the other is named.
            struct stat there;
            const QByteArray native = QFile::encodeName(name);
            if (::fstatat(folder.fd(), native.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0
                && written.contains({quint64(there.st_dev), quint64(there.st_ino)})) {
                notWritten.append(described.name);
                break;
            }
            writeFileEntry(reader.get(), entry, folder, name, zip, wrote);
            if (::fstatat(folder.fd(), native.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0)
                written.insert({quint64(there.st_dev), quint64(there.st_ino)});
            break;
        }
        case Entry::Type::link: {
            const auto folder = FileOps::Folder::inside(topOnDisk, parentBelow, FileOps::Folder::Missing::make);
            // Judged again here, against the links this restore has made so far.
            const auto lands = FileOps::resolveOnDisk(folder.path(), described.linkTarget);
            if (!lands || !FileOps::isInside(*lands, placement.realTop(top)))
                throw cantRead(zip, QStringLiteral("%1 points outside its folder.").arg(described.name));
            const QByteArray temporary = temporaryName();
            if (::symlinkat(described.linkTarget.toUtf8().constData(), folder.fd(), temporary.constData()) != 0)
                throw PlatformErrors::fileWrite(folder.path() + QLatin1Char('/') + name, errno);
            replaceWith(folder, temporary, name);
            break;
        }
        case Entry::Type::other: break; // nothing a backup of Vantor's holds
        }
    }
    return notWritten;
}

void removeLeftovers(const QStringList &tops, std::chrono::seconds idle)
{
    const time_t before = ::time(nullptr) - time_t(idle.count());
    for (const QString &top : tops) {
        QByteArray native = QFile::encodeName(top);
        char *paths[] = {native.data(), nullptr};
        // FTS_PHYSICAL: links below the top are seen as links, never followed.
        FTS *walk = ::fts_open(paths, FTS_PHYSICAL | FTS_COMFOLLOW | FTS_NOCHDIR | FTS_XDEV, nullptr);
        if (!walk)
            continue;
        while (FTSENT *entry = ::fts_read(walk)) {
            if ((entry->fts_info == FTS_F || entry->fts_info == FTS_SL || entry->fts_info == FTS_SLNONE)
                && entry->fts_level > 0 && isTemporaryName(entry->fts_name)
                && (idle.count() == 0 || (entry->fts_statp && entry->fts_statp->st_ctime < before)))
                ::unlink(entry->fts_accpath);
        }
        ::fts_close(walk);
    }
}

} // namespace BackupArchive
