#pragma once

#include <QString>

#include <functional>
#include <optional>

// Moving and removing files and folders, with failures thrown as PlatformError.
namespace FileOps {

// Renames within a volume; across volumes copies (keeping modes and links) to a hidden name
// beside `to`, renames that into place and only then removes the source, so that `to` is
// whole whenever it exists. Throws PlatformError (Cocoa domain) when the move fails; the
// source is then left where it was.
void moveItem(const QString &from, const QString &to);

// Swaps two items in one atomic step. False when the file system cannot (another volume, or
// a layer of an overlay file system): nothing was changed, and the caller swaps another way.
// Throws PlatformError for any other failure.
bool exchangeItems(const QString &first, const QString &second);

// The system's own one-step swap behind exchangeItems (one file per system).
bool exchangeNatively(const QString &first, const QString &second);

// The item's inode number (links are not followed), or -1 when nothing is there.
qint64 inode(const QString &path);

// Removes a file, a link (never what it points to) or a whole folder. Gives false when
// something remains.
bool removeItem(const QString &path);

// Creates the folder and any missing parents. Throws PlatformError when that fails (for
// example, a parent is a file).
void makePath(const QString &path);

// One of Vantor's own folders (`path`, inside or equal to `root`, one of Vantor's two top folders),
// made where missing. Vantor's folders are never followed: a link at `root` or below it (a user
// who moved things, a planted one) is removed, only the link, and a real folder made in its place;
// something else in the way (a file) throws FriendlyError, and nothing is removed. The folders
// above `root` are the user's and are made as makePath does.
void makeOwnFolder(const QString &root, const QString &path);

// A small file Vantor finds on disk, read only when it is a regular file: a link is not followed
// (unless asked: a BIOS file the user linked is theirs) and a FIFO or device is never waited on.
// None when it is missing, something else, larger than maxBytes, or can't be read.
enum class Links { refuse, follow };
std::optional<QByteArray> readRegularFile(const QString &path, qint64 maxBytes, Links links = Links::refuse);

// Replaces a small file of Vantor's in one step: the bytes go to a new file beside it, which is
// then renamed over it. A link at the path is replaced, never written through (QSaveFile would
// write to the link's target). Throws PlatformError when it can't.
void replaceFile(const QString &path, const QByteArray &bytes);
// Makes what was written to `fd` durable: fsync, and on the Mac F_FULLFSYNC, since its fsync
// reaches only the drive's cache. Gives 0, or the errno.
int flushToDisk(int fd);

// A folder reached from `top` without passing through a link below it: the one way Vantor works
// inside a folder whose contents it doesn't trust. `top` itself is opened as the user has it (a
// link there is their choice, such as data moved to another disk); each folder of `relative` is
// opened with O_NOFOLLOW, and made when missing if `make`. Throws PlatformError naming the path
// where that fails (ELOOP at a link, ENOTDIR at a file).
class Folder
{
public:
    enum class Missing { fail, make };
    static Folder inside(const QString &top, const QString &relative, Missing missing);
    Folder(Folder &&other) noexcept;
    Folder &operator=(Folder &&) = delete;
    ~Folder();
    int fd() const { return m_fd; }
    const QString &path() const { return m_path; }

private:
    Folder(int fd, QString path)
        : m_fd(fd)
        , m_path(std::move(path))
    {
    }
    int m_fd;
    QString m_path;
};

// The first folder on the way from `top` to `top/relative` (`relative` included) that is a link
// or not a folder, as a path; none when every one that exists is a real folder. What
// Folder::inside would refuse, asked without changing anything.
std::optional<QString> firstLinkBelow(const QString &top, const QString &relative);

// Where a link in `folder` with `target` leads, resolved the way the kernel would: through the
// links that are on disk now (in `folder`'s own path too), up to 40 of them. The parts that don't
// exist are taken as written. None when the links go round in circles. With an empty target,
// the folder's own real path.
std::optional<QString> resolveOnDisk(const QString &folder, const QString &target);

// Whether `path` is `folder` or inside it, both taken as written.
bool isInside(const QString &path, const QString &folder);

// Moves the item to the Trash (the file manager's own; on Linux the freedesktop Trash).
// Throws PlatformError when it cannot.
void moveToTrash(const QString &path);

// Whether something (a file, folder or link, even a dangling one) is at the path.
bool exists(const QString &path);

// Tests can make chosen moves fail the way the system would, with an errno value: the hook
// sees each move (and each exchange) before it happens and gives the errno to fail with, or
// none to let it run. An exchange failed with EXDEV reports that the file system cannot swap.
// Root in CI passes every permission check, so this is the only way to reach some of the
// failure paths of placement and rollback.
using MoveFault = std::function<std::optional<int>(const QString &from, const QString &to)>;
void setMoveFaultForTesting(MoveFault fault);
// A step of a change that must survive being killed (each move and exchange is one). When
// VANTOR_KILL_AT_STEP=N is set, the process names its N-th step on stderr and kills itself
// there: the interruption tests kill Vantor at every step in turn this way.
void checkpoint(const QString &step);

} // namespace FileOps
