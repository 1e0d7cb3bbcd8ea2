#include "wholefile.h"

#include "errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
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

} // namespace

void openRegularFile(QFile& file, const QString& path) {
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    OpenedFile opened = openForReading(fullPath);
    if (!file.open(opened.fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        throw FileError::cannotOpen(fullPath, file.errorString());
    opened.fd.release();
}

QByteArray readWholeFile(const QString& path) {
    const QString fullPath = QFileInfo(path).absoluteFilePath();
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

void writeWholeFile(const QString& path, const QByteArray& bytes) {
    const QFileInfo target(QFileInfo(path).absoluteFilePath());
    const QString fullPath = target.filePath();
    if (target.isDir())
        throw FileError::cannotCreate(fullPath, u"Is a directory"_s);
    const auto cannotWrite = [&](const QFileDevice& file) {
        return FileError(u"Cannot write file \"%1\". %2"_s.arg(fullPath, file.errorString()));
    };
    if (!target.exists()) {
        QFile file(fullPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw FileError::cannotCreate(fullPath, file.errorString());
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            const FileError failure = cannotWrite(file);
            file.remove();
            throw failure;
        }
        return;
    }
    // Replacing a file: the new bytes go to a file beside it first, which then
    // takes its place whole, so a full disk never leaves half a picture.
    QTemporaryFile part(target.dir().filePath(u".%1.XXXXXX"_s.arg(target.fileName())));
    if (!part.open())
        throw FileError::cannotCreate(fullPath, part.errorString());
    if (part.write(bytes) != bytes.size() || !part.flush())
        throw cannotWrite(part);
    part.setPermissions(QFile::permissions(fullPath));
    if (std::rename(QFile::encodeName(part.fileName()).constData(),
                    QFile::encodeName(fullPath).constData()) != 0)
        throw FileError(u"Cannot write file \"%1\". %2"_s.arg(
            fullPath, QString::fromLocal8Bit(std::strerror(errno))));
    part.setAutoRemove(false);
}
