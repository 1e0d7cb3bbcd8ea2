// Whole files as the import reads them: only regular files, and only as
// large as the library could store.

#include "failure.h"
#include "libraryfiles.h"
#include "picturefile.h"
#include "wholefile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <memory>

#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString NotRegular = u"Not a regular file"_s;
const QString IsDirectory = u"Is a directory"_s;

QByteArray name(const QString& path) {
    return QFile::encodeName(path);
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

// What `action` fails with when run in a child process. The child is killed
// after ten seconds, so an action that would wait forever fails the test
// instead of stopping it, and it may use at most 2 GiB of memory, so one that
// reads without end fails soon.
Failure inChild(const std::function<void()>& action) {
    int ends[2];
    if (::pipe(ends) != 0)
        return {u"no pipe"_s, {}};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        const rlimit memory{2LL << 30, 2LL << 30};
        if (::setrlimit(RLIMIT_AS, &memory) != 0)
            ::_exit(2);
        const Failure failure = failureOf(action);
        const QByteArray report = (failure.kind + u'\n' + failure.message).toUtf8();
        ::_exit(::write(ends[1], report.constData(), size_t(report.size())) == report.size() ? 0
                                                                                             : 2);
    }
    ::close(ends[1]);
    QByteArray report;
    const QDeadlineTimer deadline(10'000);
    bool hung = false;
    for (;;) {
        pollfd readable{ends[0], POLLIN, 0};
        if (::poll(&readable, 1, int(deadline.remainingTime())) <= 0) {
            hung = true;
            ::kill(child, SIGKILL);
            break;
        }
        char chunk[4096];
        const ssize_t count = ::read(ends[0], chunk, sizeof chunk);
        if (count <= 0)
            break;
        report.append(chunk, count);
    }
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (hung)
        return {u"hung"_s, {}};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {u"died"_s, QString::number(status)};
    const qsizetype newline = report.indexOf('\n');
    return {QString::fromUtf8(report.left(newline)), QString::fromUtf8(report.sliced(newline + 1))};
}

} // namespace

class TestWholeFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void readsEverything();
    void readsOnlyRegularFiles_data();
    void readsOnlyRegularFiles();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestWholeFile::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
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

QTEST_GUILESS_MAIN(TestWholeFile)
#include "tst_wholefile.moc"
