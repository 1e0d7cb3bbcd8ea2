#include "wholefile.h"

#include "errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString IsADirectory = u"Is a directory"_s;
const QString NotARegularFile = u"Not a regular file"_s;

// The system's own words for a failure, taken from errno at once.
QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// A file descriptor that is closed with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd;
};

// A regular file opened without blocking, in case it was a pipe, is used
// as any other once that is ruled out.
bool makeBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != -1;
}

struct OpenedFile {
    Descriptor fd;
    qint64 size = 0;
};

OpenedFile openForReading(const QString& fullPath) {
    // Not blocking, so a pipe cannot hold the opening until a writer comes.
    Descriptor fd(
        ::open(QFile::encodeName(fullPath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!fd || ::fstat(fd.get(), &status) != 0)
        throw FileError::cannotOpen(fullPath, reason(errno));
    if (S_ISDIR(status.st_mode))
        throw FileError::cannotOpen(fullPath, IsADirectory);
    if (!S_ISREG(status.st_mode))
        throw FileError::cannotOpen(fullPath, NotARegularFile);
    if (status.st_size > MaxWholeFileSize)
        throw FileError::cannotOpen(fullPath, reason(EFBIG));
    if (!makeBlocking(fd.get()))
        throw FileError::cannotOpen(fullPath, reason(errno));
    return {std::move(fd), status.st_size};
}

// Writes all of `size` bytes at `offset`; false with errno set on a failure.
bool writeAll(int fd, const char* data, qint64 size, off_t offset) {
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size_t(size), offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        data += written;
        size -= written;
        offset += written;
    }
    return true;
}

// Puts the data of the open file `fd` on the disk; false with errno set.
bool syncData(int fd) {
    return ::fdatasync(fd) == 0;
}

// Puts the entries of the folder `folder` on the disk, so that a name made,
// renamed or linked there is found after a power cut; false with errno set.
// A file system that cannot sync a folder (EINVAL) keeps its entries as it
// does anyway.
bool syncFolderEntries(const QByteArray& folder) {
    const Descriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd && (::fsync(fd.get()) == 0 || errno == EINVAL);
}

QByteArray folderOf(const QByteArray& name) {
    const qsizetype slash = name.lastIndexOf('/');
    return slash > 0 ? name.left(slash) : QByteArray("/");
}

// Where writing a name leads: the end of its chain of symbolic links, which
// need not exist yet, and what is there.
struct Target {
    QByteArray name;
    bool exists = false;
    struct stat status {};
};

Target followLinks(const QString& fullPath) {
    Target target{QFile::encodeName(fullPath)};
    // As many links as the system itself follows before it gives up.
    for (int hop = 0; hop < 40; ++hop) {
        if (::lstat(target.name.constData(), &target.status) != 0) {
            if (errno == ENOENT)
                return target;
            throw FileError::cannotCreate(fullPath, reason(errno));
        }
        if (!S_ISLNK(target.status.st_mode)) {
            target.exists = true;
            return target;
        }
        char link[PATH_MAX];
        const ssize_t length = ::readlink(target.name.constData(), link, sizeof link);
        if (length < 0)
            throw FileError::cannotCreate(fullPath, reason(errno));
        if (size_t(length) == sizeof link)
            throw FileError::cannotCreate(fullPath, reason(ENAMETOOLONG));
        const QByteArray next(link, length);
        target.name =
            next.startsWith('/') ? next : target.name.left(target.name.lastIndexOf('/') + 1) + next;
    }
    throw FileError::cannotCreate(fullPath, reason(ELOOP));
}

// A hidden file in the target's folder where the new bytes are put together
// before they take the name. It is removed again unless it took the name.
class Sibling {
public:
    explicit Sibling(const QByteArray& target) {
        const qsizetype slash = target.lastIndexOf('/');
        QByteArray base = target.sliced(slash + 1);
        // Short enough for any file system, and cut between characters.
        if (base.size() > 100) {
            qsizetype end = 100;
            while (end > 0 && (uchar(base[end]) & 0xc0) == 0x80)
                --end;
            base.truncate(end);
        }
        const QByteArray stem = target.left(slash + 1) + '.' + base + '.';
        static constexpr char Letters[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        for (int attempt = 0; attempt < 100; ++attempt) {
            m_name = stem;
            for (int i = 0; i < 6; ++i)
                m_name += Letters[QRandomGenerator::global()->bounded(int(sizeof Letters - 1))];
            // Made as any new file is, so the umask and the folder's defaults apply.
            m_fd = Descriptor(
                ::open(m_name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (m_fd || errno != EEXIST)
                break;
        }
        m_error = m_fd ? 0 : errno;
    }
    Sibling(const Sibling&) = delete;
    Sibling& operator=(const Sibling&) = delete;
    ~Sibling() {
        if (m_fd && !m_placed)
            ::unlink(m_name.constData());
    }

    explicit operator bool() const { return bool(m_fd); }
    int error() const { return m_error; }
    const QByteArray& name() const { return m_name; }
    int fd() const { return m_fd.get(); }

    // Takes the place of `target`, replacing it.
    bool replace(const QByteArray& target) {
        m_placed = ::rename(m_name.constData(), target.constData()) == 0;
        return m_placed;
    }

    // Takes the name `target` unless something has it by now: false with
    // errno EEXIST then, or another errno on a failure.
    bool placeAsNew(const QByteArray& target) {
        if (::renameat2(AT_FDCWD, m_name.constData(), AT_FDCWD, target.constData(),
                        RENAME_NOREPLACE) == 0)
            return m_placed = true;
        if (errno != EINVAL && errno != ENOSYS)
            return false;
        // A file system that cannot rename without replacing: a second link
        // takes the name, which fails as well when the name is taken.
        if (::link(m_name.constData(), target.constData()) == 0) {
            ::unlink(m_name.constData());
            return m_placed = true;
        }
        if (errno != EPERM && errno != EOPNOTSUPP)
            return false;
        // One without links either (a share of another system): the name is
        // looked at just before it is taken.
        struct stat taken {};
        if (::lstat(target.constData(), &taken) == 0) {
            errno = EEXIST;
            return false;
        }
        return replace(target);
    }

private:
    QByteArray m_name;
    Descriptor m_fd;
    int m_error = 0;
    bool m_placed = false;
};

// Gives the sibling the replaced file's owner, group and mode; false where
// that cannot be done (the owner is another user and we are not root).
bool takeOverOwnerAndMode(int sibling, const struct stat& replaced) {
    struct stat own {};
    if (::fstat(sibling, &own) != 0)
        return false;
    // Owner first: a change of owner clears the set-id bits of the mode.
    if ((own.st_uid != replaced.st_uid || own.st_gid != replaced.st_gid) &&
        ::fchown(sibling, replaced.st_uid, replaced.st_gid) != 0)
        return false;
    return ::fchmod(sibling, replaced.st_mode & 07777) == 0;
}

// Rewrites the open file itself, for a file nothing may replace: its folder
// is not the user's to write, its owner is another user, or it has other hard
// links a new file would part it from. Of all the roads only this one cannot
// survive a kill in the middle of its write, since the old picture is
// overwritten where it lies: nothing else may be created in that folder (or
// take the file's place) to hold the new one until it is complete. A full disk
// still fails before the old picture is touched: the space is reserved first,
// and what lies beyond the old end is written before the old bytes are.
void writeInPlace(int fd, off_t oldSize, const QByteArray& bytes, const QString& fullPath) {
    const off_t newSize = bytes.size();
    if (newSize > oldSize) {
        if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, newSize) != 0 && errno != EOPNOTSUPP &&
            errno != ENOSYS)
            throw FileError::cannotWrite(fullPath, reason(errno));
        if (!writeAll(fd, bytes.constData() + oldSize, newSize - oldSize, oldSize)) {
            const QString why = reason(errno);
            // The old bytes are untouched either way; only their length is restored.
            [[maybe_unused]] const int restored = ::ftruncate(fd, oldSize);
            throw FileError::cannotWrite(fullPath, why);
        }
    }
    if (!writeAll(fd, bytes.constData(), qMin(oldSize, newSize), 0) ||
        ::ftruncate(fd, newSize) != 0 || !syncData(fd))
        throw FileError::cannotWrite(fullPath, reason(errno));
}

// After the sibling took the name: the name on the disk as well.
void syncPlaced(const Target& target, FileSync sync, const QString& fullPath) {
    if (sync == FileSync::Now && !syncFolderEntries(folderOf(target.name)))
        throw FileError::cannotWrite(fullPath, reason(errno));
}

void replaceFile(const Target& target, const QByteArray& bytes, FileSync sync,
                 const QString& fullPath) {
    if (S_ISDIR(target.status.st_mode))
        throw FileError::cannotCreate(fullPath, IsADirectory);
    if (!S_ISREG(target.status.st_mode))
        throw FileError::cannotCreate(fullPath, NotARegularFile);
    // Whether the user may write the file is the file's own answer, not a
    // guess from its mode. Not blocking, in case a pipe took its place.
    Descriptor fd(::open(target.name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!fd || ::fstat(fd.get(), &status) != 0)
        throw FileError::cannotCreate(fullPath, reason(errno));
    if (!S_ISREG(status.st_mode))
        throw FileError::cannotCreate(fullPath, NotARegularFile);
    if (!makeBlocking(fd.get()))
        throw FileError::cannotCreate(fullPath, reason(errno));
    if (status.st_nlink == 1) {
        Sibling sibling(target.name);
        if (sibling && takeOverOwnerAndMode(sibling.fd(), status)) {
            // Synced before it takes the name, whoever syncs the folder:
            // otherwise a power cut could leave the name empty, the old bytes gone.
            if (!writeAll(sibling.fd(), bytes.constData(), bytes.size(), 0) ||
                !syncData(sibling.fd()) || !sibling.replace(target.name))
                throw FileError::cannotWrite(fullPath, reason(errno));
            return syncPlaced(target, sync, fullPath);
        }
    }
    writeInPlace(fd.get(), status.st_size, bytes, fullPath);
}

// False when another program took the name meanwhile.
bool writeNewFile(const Target& target, const QByteArray& bytes, FileSync sync,
                  const QString& fullPath) {
    Sibling sibling(target.name);
    if (!sibling)
        throw FileError::cannotCreate(fullPath, reason(sibling.error()));
    if (!writeAll(sibling.fd(), bytes.constData(), bytes.size(), 0) ||
        (sync == FileSync::Now && !syncData(sibling.fd())))
        throw FileError::cannotWrite(fullPath, reason(errno));
    if (sibling.placeAsNew(target.name)) {
        syncPlaced(target, sync, fullPath);
        return true;
    }
    if (errno == EEXIST)
        return false;
    throw FileError::cannotWrite(fullPath, reason(errno));
}

} // namespace

QString absoluteFilePath(const QString& path) {
    if (path.startsWith(u':'))
        return QDir::currentPath() + u'/' + path;
    return QFileInfo(path).absoluteFilePath();
}

void openRegularFile(QFile& file, const QString& path) {
    const QString fullPath = absoluteFilePath(path);
    OpenedFile opened = openForReading(fullPath);
    if (!file.open(opened.fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        throw FileError::cannotOpen(fullPath, file.errorString());
    opened.fd.release();
}

void refuseSpecialFile(const QString& path) {
    const QString fullPath = absoluteFilePath(path);
    struct stat status {};
    if (::stat(QFile::encodeName(fullPath).constData(), &status) != 0)
        return;
    if (S_ISDIR(status.st_mode))
        throw FileError::cannotOpen(fullPath, IsADirectory);
    if (!S_ISREG(status.st_mode))
        throw FileError::cannotOpen(fullPath, NotARegularFile);
}

QByteArray readWholeFile(const QString& path) {
    const QString fullPath = absoluteFilePath(path);
    const OpenedFile opened = openForReading(fullPath);
    QByteArray bytes(opened.size, Qt::Uninitialized);
    qsizetype done = 0;
    // A file that shrinks meanwhile gives what is there.
    while (done < bytes.size()) {
        const ssize_t count =
            ::read(opened.fd.get(), bytes.data() + done, size_t(bytes.size() - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            throw FileError::cannotOpen(fullPath, reason(errno));
        if (count == 0)
            break;
        done += count;
    }
    bytes.truncate(done);
    return bytes;
}

void writeWholeFile(const QString& path, const QByteArray& bytes, FileSync sync) {
    const QString fullPath = absoluteFilePath(path);
    // A name another program takes while the new file is put together is
    // then replaced like any file that was there.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const Target target = followLinks(fullPath);
        if (target.exists)
            return replaceFile(target, bytes, sync, fullPath);
        if (writeNewFile(target, bytes, sync, fullPath))
            return;
    }
    throw FileError::cannotCreate(fullPath, reason(EEXIST));
}

bool writeNewWholeFile(const QString& path, const QByteArray& bytes, FileSync sync) {
    const QString fullPath = absoluteFilePath(path);
    return writeNewFile(Target{QFile::encodeName(fullPath)}, bytes, sync, fullPath);
}

void syncFolder(const QString& folder) {
    const QString fullPath = absoluteFilePath(folder);
    const Descriptor fd(
        ::open(QFile::encodeName(fullPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd || ::syncfs(fd.get()) != 0 || (::fsync(fd.get()) != 0 && errno != EINVAL))
        throw FileError::cannotWriteInto(fullPath, reason(errno));
}

struct NewFile::Parts {
    QByteArray name;
    Sibling sibling;
};

NewFile::NewFile(const QString& path) : m_path(absoluteFilePath(path)) {
    const QByteArray name = QFile::encodeName(m_path);
    struct stat taken {};
    if (::lstat(name.constData(), &taken) == 0)
        throw FileError::cannotCreate(m_path, reason(EEXIST));
    m_parts.reset(new Parts{name, Sibling(name)});
    if (!m_parts->sibling)
        throw FileError::cannotCreate(m_path, reason(m_parts->sibling.error()));
}

NewFile::~NewFile() = default;

QString NewFile::hiddenPath() const {
    return QFile::decodeName(m_parts->sibling.name());
}

void NewFile::writeOut() const {
    if (::fsync(m_parts->sibling.fd()) != 0)
        throw FileError::cannotWrite(m_path, reason(errno));
}

void NewFile::place() {
    Sibling& sibling = m_parts->sibling;
    writeOut();
    if (!sibling.placeAsNew(m_parts->name)) {
        if (errno == EEXIST)
            throw FileError::cannotCreate(m_path, reason(EEXIST));
        throw FileError::cannotWrite(m_path, reason(errno));
    }
    if (!syncFolderEntries(folderOf(m_parts->name))) {
        const int error = errno;
        ::unlink(m_parts->name.constData());
        throw FileError::cannotWrite(m_path, reason(error));
    }
}

FileError NewFile::named(const FileError& failure) const {
    return FileError(QString(failure.message()).replace(hiddenPath(), m_path));
}

bool copyFileContents(const QString& source, const QString& target, QDeadlineTimer deadline) {
    const QString fullSource = absoluteFilePath(source);
    const QString fullTarget = absoluteFilePath(target);
    const Descriptor from(::open(QFile::encodeName(fullSource).constData(), O_RDONLY | O_CLOEXEC));
    if (!from)
        throw FileError::cannotOpen(fullSource, reason(errno));
    // Not truncated on opening but cut to length at the end: on ext4 a file
    // truncated to nothing is written out to the disk when closed, which
    // would make every copy wait for the disk as no file copy does.
    const Descriptor to(::open(QFile::encodeName(fullTarget).constData(), O_WRONLY | O_CLOEXEC));
    if (!to)
        throw FileError::cannotWrite(fullTarget, reason(errno));
    constexpr size_t Chunk = 64 * 1024 * 1024;
    off_t written = 0;
    QByteArray buffer; // only where the kernel cannot copy between the two files
    for (;;) {
        ssize_t copied;
        if (buffer.isEmpty()) {
            copied = ::copy_file_range(from.get(), nullptr, to.get(), nullptr, Chunk, 0);
            if (copied < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                buffer.resize(1024 * 1024);
                continue;
            }
        } else {
            copied = ::read(from.get(), buffer.data(), size_t(buffer.size()));
            if (copied > 0 && !writeAll(to.get(), buffer.constData(), copied, written))
                throw FileError::cannotWrite(fullTarget, reason(errno));
        }
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied < 0)
            throw FileError::cannotWrite(fullTarget, reason(errno));
        if (copied == 0) {
            if (::ftruncate(to.get(), written) != 0)
                throw FileError::cannotWrite(fullTarget, reason(errno));
            return true;
        }
        written += copied;
        if (deadline.hasExpired())
            return false;
    }
}
