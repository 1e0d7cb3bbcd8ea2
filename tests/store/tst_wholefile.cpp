// Whole files as the import reads them and the exports write them: only
// regular files are read, and a write goes where the name leads, keeps what
// the file was, and never leaves half a picture under the name.

#include "childprocess.h"
#include "failure.h"
#include "libraryfiles.h"
#include "picturefile.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString NotRegular = u"Not a regular file"_s;
const QString IsDirectory = u"Is a directory"_s;

QByteArray name(const QString& path) {
    return QFile::encodeName(path);
}

struct stat statusOf(const QString& path) {
    struct stat status {};
    ::lstat(name(path).constData(), &status);
    return status;
}

QString described(const Failure& failure) {
    return failure.kind + u": "_s + failure.message;
}

QByteArray pattern(qsizetype size, int seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed) % 251);
    return bytes;
}

// ---- A writer that stops where it is told ----------------------------------
// The calls a file is written and named with are this program's own: they do
// the system's work, except in a child that arms one stop, where the call
// that reaches it tells the parent through a pipe and waits there for its
// kill. So every kill falls at its place in the write, however busy the
// machine.
enum class Stop { None, FirstByte, PartOfTheBytes, Naming, Named };
Stop armed = Stop::None;
int tellParent = -1;

[[noreturn]] void stopHere() {
    const char here = 's';
    [[maybe_unused]] const long told = ::syscall(SYS_write, tellParent, &here, 1);
    for (;;)
        ::pause();
}

template <class Call> long writing(size_t size, Call call) {
    if (armed == Stop::FirstByte && size > 0) {
        stopHere();
    } else if (armed == Stop::PartOfTheBytes && size > 1) {
        [[maybe_unused]] const long part = call(size / 2);
        stopHere();
    }
    return call(size);
}

template <class Call> int naming(Call call) {
    if (armed == Stop::Naming)
        stopHere();
    const int result = int(call());
    if (armed == Stop::Named && result == 0)
        stopHere();
    return result;
}

} // namespace

extern "C" {
ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    return writing(size, [&](size_t n) { return ::syscall(SYS_pwrite64, fd, data, n, offset); });
}
ssize_t pwrite64(int fd, const void* data, size_t size, off64_t offset) {
    return writing(size, [&](size_t n) { return ::syscall(SYS_pwrite64, fd, data, n, offset); });
}
ssize_t write(int fd, const void* data, size_t size) {
    if (fd <= STDERR_FILENO || armed == Stop::None)
        return ::syscall(SYS_write, fd, data, size);
    return writing(size, [&](size_t n) { return ::syscall(SYS_write, fd, data, n); });
}
int rename(const char* from, const char* to) noexcept {
    return naming([&] { return ::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0); });
}
int renameat2(int fromFolder, const char* from, int toFolder, const char* to,
              unsigned flags) noexcept {
    return naming([&] { return ::syscall(SYS_renameat2, fromFolder, from, toFolder, to, flags); });
}
int link(const char* from, const char* to) noexcept {
    return naming([&] { return ::syscall(SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0); });
}
int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) noexcept {
    return naming([&] { return ::syscall(SYS_linkat, fromFolder, from, toFolder, to, flags); });
}
}

class TestWholeFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void readsEverything();
    void readsOnlyRegularFiles_data();
    void readsOnlyRegularFiles();
    void writesWhereTheNameLeads_data();
    void writesWhereTheNameLeads();
    void refusesWhatIsNoFile_data();
    void refusesWhatIsNoFile();
    void writesAsTheUser_data();
    void writesAsTheUser();
    void killedWriteLeavesNoHalfFile_data();
    void killedWriteLeavesNoHalfFile();
    void copiesEveryByteOnce_data();
    void copiesEveryByteOnce();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestWholeFile::initTestCase() {
    ::umask(022);
}

// The folder is the user's own: nobody's when the test runs as root.
void TestWholeFile::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    if (isRoot())
        QCOMPARE(::chown(name(m_dir->path()).constData(), Nobody, NoGroup), 0);
}

void TestWholeFile::cleanup() {
    ::chmod(name(m_dir->path()).constData(), 0700);
}

void TestWholeFile::readsEverything() {
    const QByteArray content = pattern(300'000, 0);
    TestFiles::writeFile(path(u"big.bin"_s), content);
    QCOMPARE(readWholeFile(path(u"big.bin"_s)), content);
    QVERIFY(QFile::link(u"big.bin"_s, path(u"link.bin"_s)));
    QCOMPARE(readWholeFile(path(u"link.bin"_s)), content);

    TestFiles::writeFile(path(u"empty.bin"_s), {});
    QCOMPARE(readWholeFile(path(u"empty.bin"_s)), QByteArray());
}

void TestWholeFile::readsOnlyRegularFiles_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("reason");
    for (const QString& fileName : {u"score.jpg"_s, u"score.bmp"_s}) {
        const QByteArray n = fileName.toUtf8();
        QTest::addRow("pipe %s", n.data()) << fileName << u"pipe"_s << NotRegular;
        QTest::addRow("link to /dev/zero %s", n.data()) << fileName << u"zeros"_s << NotRegular;
        QTest::addRow("folder %s", n.data()) << fileName << u"folder"_s << IsDirectory;
        QTest::addRow("missing %s", n.data())
            << fileName << u"missing"_s << u"No such file or directory"_s;
        QTest::addRow("too large %s", n.data())
            << fileName << u"too large"_s << u"File too large"_s;
    }
}

// Refused at once, before a byte is read, by the whole-file reading and by
// the import's reading for the extension alike.
void TestWholeFile::readsOnlyRegularFiles() {
    QFETCH(QString, fileName);
    QFETCH(QString, entry);
    QFETCH(QString, reason);
    const QString file = path(fileName);
    if (entry == u"pipe")
        QCOMPARE(::mkfifo(name(file).constData(), 0644), 0);
    else if (entry == u"zeros")
        QVERIFY(QFile::link(u"/dev/zero"_s, file));
    else if (entry == u"folder")
        QVERIFY(QDir().mkdir(file));
    else if (entry == u"too large") {
        QFile sparse(file);
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(MaxWholeFileSize + 1));
    }

    const QString expected = u"FileError: Cannot open file \"%1\". %2"_s.arg(file, reason);
    QCOMPARE(described(inChild([&] { readWholeFile(file); })), expected);
    QCOMPARE(described(inChild([&] { loadPictureFile(file); })), expected);
}

void TestWholeFile::writesWhereTheNameLeads_data() {
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("mode");
    const QString score = u"score.jpg"_s;
    const QString real = u"pages/real.jpg"_s;

    QTest::newRow("new file") << u"nothing"_s << score << QStringList{score} << 0644;
    QTest::newRow("replaced file keeps its mode")
        << u"file"_s << score << QStringList{score} << 0640;
    QTest::newRow("replaced file keeps its owner")
        << u"other's file"_s << score << QStringList{score} << 0640;
    QTest::newRow("link") << u"link"_s << real << QStringList{u"pages/"_s, real, score} << 0640;
    QTest::newRow("chain of links")
        << u"chain"_s << real << QStringList{u"a.jpg"_s, u"pages/"_s, real, score} << 0640;
    QTest::newRow("dangling link")
        << u"dangling"_s << real << QStringList{u"pages/"_s, real, score} << 0644;
    QTest::newRow("hard link") << u"hard link"_s << score << QStringList{u"other.jpg"_s, score}
                               << 0640;
}

void TestWholeFile::writesWhereTheNameLeads() {
    QFETCH(QString, existing);
    QFETCH(QString, holder);
    QFETCH(QStringList, entries);
    QFETCH(int, mode);
    const QString score = path(u"score.jpg"_s);
    const QString real = path(u"pages/real.jpg"_s);
    if (existing == u"other's file" && !isRoot())
        QSKIP("Only root can make a file of another user");
    if (existing == u"file" || existing == u"other's file" || existing == u"hard link") {
        TestFiles::writeFile(score, "old");
        QCOMPARE(::chmod(name(score).constData(), 0640), 0);
    }
    if (existing == u"other's file")
        QCOMPARE(::chown(name(score).constData(), Nobody, NoGroup), 0);
    if (existing == u"hard link")
        QCOMPARE(::link(name(score).constData(), name(path(u"other.jpg"_s)).constData()), 0);
    if (existing == u"link" || existing == u"chain" || existing == u"dangling") {
        QVERIFY(QDir(m_dir->path()).mkdir(u"pages"_s));
        QVERIFY(QFile::link(u"pages/real.jpg"_s, existing == u"chain" ? path(u"a.jpg"_s) : score));
    }
    if (existing == u"link" || existing == u"chain") {
        TestFiles::writeFile(real, "old");
        QCOMPARE(::chmod(name(real).constData(), 0640), 0);
    }
    if (existing == u"chain")
        QVERIFY(QFile::link(path(u"a.jpg"_s), score));
    const struct stat before = statusOf(path(holder));

    const QByteArray bytes = pattern(70'000, 1);
    QCOMPARE(described(failureOf([&] { writeWholeFile(score, bytes); })), u"none: "_s);
    QCOMPARE(TestFiles::readFile(score), bytes);
    QCOMPARE(TestFiles::readFile(path(holder)), bytes);
    // Links stay links, and nothing is left beside the file.
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), entries);
    QCOMPARE(QFileInfo(score).isSymLink(), holder != u"score.jpg");
    const struct stat after = statusOf(path(holder));
    QVERIFY(S_ISREG(after.st_mode));
    QCOMPARE(after.st_mode & 07777, mode_t(mode));
    if (before.st_ino != 0) {
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
    }
    if (existing == u"hard link") {
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_nlink, nlink_t(2));
    }
}

void TestWholeFile::refusesWhatIsNoFile_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("reason");
    QTest::newRow("pipe") << u"pipe"_s << NotRegular;
    QTest::newRow("link to a device") << u"device"_s << NotRegular;
    QTest::newRow("folder") << u"folder"_s << IsDirectory;
    QTest::newRow("link to a folder") << u"folder link"_s << IsDirectory;
}

// Refused, and left as it was.
void TestWholeFile::refusesWhatIsNoFile() {
    QFETCH(QString, entry);
    QFETCH(QString, reason);
    const QString score = path(u"score.jpg"_s);
    if (entry == u"pipe")
        QCOMPARE(::mkfifo(name(score).constData(), 0644), 0);
    else if (entry == u"device")
        QVERIFY(QFile::link(u"/dev/null"_s, score));
    else if (entry == u"folder")
        QVERIFY(QDir().mkdir(score));
    else
        QVERIFY(QDir().mkdir(path(u"pages"_s)) && QFile::link(u"pages"_s, score));
    const QStringList entries = TestFiles::entriesBelow(m_dir->path());
    const struct stat before = statusOf(score);

    QCOMPARE(described(failureOf([&] { writeWholeFile(score, "new"); })),
             u"FileError: Cannot create file \"%1\". %2"_s.arg(score, reason));
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), entries);
    const struct stat after = statusOf(score);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
}

void TestWholeFile::writesAsTheUser_data() {
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<bool>("othersFile");
    QTest::addColumn<bool>("hardLink");
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("sizeLimit");
    QTest::addColumn<QString>("message");
    const QString denied = u"Cannot create file \"%1\". Permission denied"_s;
    const QString full = u"Cannot write file \"%1\". File too large"_s;
    const int none = -1;
    const int limit = 64 * 1024;

    QTest::newRow("write-protected file") << 0444 << false << false << 0755 << 0 << denied;
    QTest::newRow("other user's file") << 0644 << true << false << 0755 << 0 << denied;
    QTest::newRow("other user's writable file keeps its owner")
        << 0666 << true << false << 0755 << 0 << QString();
    QTest::newRow("writable file in a read-only folder")
        << 0644 << false << false << 0555 << 0 << QString();
    QTest::newRow("new name in a read-only folder")
        << none << false << false << 0555 << 0 << denied;
    QTest::newRow("disk full: new file") << none << false << false << 0755 << limit << full;
    QTest::newRow("disk full: replaced file") << 0640 << false << false << 0755 << limit << full;
    QTest::newRow("disk full: hard-linked file") << 0640 << false << true << 0755 << limit << full;
    QTest::newRow("disk full: file in a read-only folder")
        << 0640 << false << false << 0555 << limit << full;
}

// What only shows as a normal user, not as root: a failure names the system's
// reason, keeps the old bytes and leaves nothing beside them.
void TestWholeFile::writesAsTheUser() {
    QFETCH(int, fileMode);
    QFETCH(bool, othersFile);
    QFETCH(bool, hardLink);
    QFETCH(int, folderMode);
    QFETCH(int, sizeLimit);
    QFETCH(QString, message);
    if (othersFile && !isRoot())
        QSKIP("Only root can make a file of another user");
    const QString score = path(u"score.jpg"_s);
    const QString other = path(u"other.jpg"_s);
    const QByteArray old = pattern(1000, 2);
    if (fileMode >= 0) {
        TestFiles::writeFile(score, old);
        if (hardLink)
            QCOMPARE(::link(name(score).constData(), name(other).constData()), 0);
        if (isRoot() && !othersFile)
            QCOMPARE(::chown(name(score).constData(), Nobody, NoGroup), 0);
        QCOMPARE(::chmod(name(score).constData(), mode_t(fileMode)), 0);
    }
    const QStringList entries = TestFiles::entriesBelow(m_dir->path());
    const struct stat before = statusOf(score);
    QCOMPARE(::chmod(name(m_dir->path()).constData(), mode_t(folderMode)), 0);

    const QByteArray bytes = pattern(256 * 1024, 3);
    const ChildSetup setup{true, sizeLimit > 0 ? rlim_t(sizeLimit) : RLIM_INFINITY};
    const Failure failure = inChild([&] { writeWholeFile(score, bytes); }, setup);
    QCOMPARE(::chmod(name(m_dir->path()).constData(), 0700), 0);
    QCOMPARE(described(failure),
             message.isEmpty() ? u"none: "_s : u"FileError: "_s + message.arg(score));
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), entries);
    if (fileMode < 0)
        return;
    QCOMPARE(TestFiles::readFile(score), message.isEmpty() ? bytes : old);
    const struct stat after = statusOf(score);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    if (hardLink)
        QCOMPARE(TestFiles::readFile(other), old);
}

void TestWholeFile::killedWriteLeavesNoHalfFile_data() {
    QTest::addColumn<int>("stop");
    QTest::addColumn<bool>("replacing"); // an older file of the name
    const std::pair<const char*, Stop> stops[] = {{"before its first byte", Stop::FirstByte},
                                                  {"in its bytes", Stop::PartOfTheBytes},
                                                  {"written, before it is named", Stop::Naming},
                                                  {"once it is named", Stop::Named}};
    for (const bool replacing : {false, true})
        for (const auto& [where, stop] : stops)
            QTest::addRow("%s, killed %s", replacing ? "over an older file" : "a new file", where)
                << int(stop) << replacing;
}

// A file is the older one or the whole new one under its name, or not there
// at all, wherever its writer is killed; once named, it is the new one.
void TestWholeFile::killedWriteLeavesNoHalfFile() {
    QFETCH(int, stop);
    QFETCH(bool, replacing);
    const QString score = path(u"score.jpg"_s);
    const QByteArray old = pattern(3 << 20, 5);
    const QByteArray bytes = pattern(4 << 20, 4);
    if (replacing)
        TestFiles::writeFile(score, old);
    int where[2];
    QCOMPARE(::pipe(where), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(where[0]);
        tellParent = where[1];
        armed = Stop(stop);
        static_cast<void>(failureOf([&] { writeWholeFile(score, bytes); }));
        ::_exit(3); // the stop was never reached
    }
    ::close(where[1]);
    char stopped = 0;
    const bool atItsStop = ::read(where[0], &stopped, 1) == 1;
    ::close(where[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(atItsStop, "the writer never came to its stop");
    QVERIFY(WIFSIGNALED(status));

    const bool named = Stop(stop) == Stop::Named;
    if (named || replacing)
        QVERIFY2(TestFiles::readFile(score) == (named ? bytes : old), "the older file or the new");
    else
        QVERIFY2(!QFileInfo::exists(score), "no file before the whole one is named");
}

void TestWholeFile::copiesEveryByteOnce_data() {
    QTest::addColumn<QByteArray>("before"); // the target's bytes
    QTest::addColumn<bool>("inTime");
    const QByteArray longer = QByteArray(3 * 1024 * 1024, 'x');
    QTest::newRow("into an empty file") << QByteArray() << true;
    QTest::newRow("over a longer file") << longer << true;
    QTest::newRow("over a shorter file") << QByteArray("short") << true;
    QTest::newRow("deadline passed") << QByteArray() << false;
}

// The target ends holding the source's bytes and no more, whatever it held;
// a deadline already passed stops the copy after its first part.
void TestWholeFile::copiesEveryByteOnce() {
    QFETCH(QByteArray, before);
    QFETCH(bool, inTime);
    QByteArray source(1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < source.size(); ++i)
        source[i] = char(i * 7 % 251);
    TestFiles::writeFile(path(u"source"_s), source);
    TestFiles::writeFile(path(u"target"_s), before);

    const bool done =
        copyFileContents(path(u"source"_s), path(u"target"_s),
                         inTime ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(0));
    QCOMPARE(done, inTime);
    if (inTime)
        QCOMPARE(TestFiles::readFile(path(u"target"_s)), source);
    else
        QVERIFY(source.startsWith(TestFiles::readFile(path(u"target"_s))));
}

QTEST_GUILESS_MAIN(TestWholeFile)
#include "tst_wholefile.moc"
