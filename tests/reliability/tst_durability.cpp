// What a command reports done is on the disk, and no power cut can tear it:
// each command runs under strace, and what it did to the files of its folder
// is replayed as a disk keeps it after a power cut, every write not yet synced
// dropped (as SQLite's own crash tests cut the power).
//
//   tst_durability --export-one FILE DATA   writes DATA's bytes as FILE, as the
//                                           window's export of one score does

#include "errors.h"
#include "libraryfiles.h"
#include "wholefile.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// One change or sync of files, in the order the command made them.
struct Step {
    enum Kind { Write, Truncate, Name, SyncFile, SyncFolder, SyncAll, Success };
    Step(Kind k, int f = -1, QByteArray p = {}, qint64 at = 0, QByteArray data = {})
        : kind(k), file(f), place(std::move(p)), offset(at), bytes(std::move(data)) {}
    Kind kind;
    int file = -1;     // Write, Truncate, SyncFile; for Name the file named, -1 to remove
    QByteArray place;  // Name: the name; SyncFolder: the folder
    qint64 offset = 0; // Write: where; Truncate: the length
    QByteArray bytes;  // Write
};

QByteArray folderOf(const QByteArray& name) {
    return name.left(name.lastIndexOf('/'));
}

// The calls of a strace log (-f -xx) as text: name, arguments, result; the
// two halves of a call another thread interrupted joined again.
struct Call {
    QByteArray name;
    QList<QByteArray> arguments;
    qint64 result = -1;
};

QList<QByteArray> splitArguments(const QByteArray& text) {
    QList<QByteArray> parts{{}};
    int depth = 0;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '[' || c == '{'))
            ++depth;
        else if (!quoted && (c == ']' || c == '}'))
            --depth;
        else if (!quoted && depth == 0 && c == ',') {
            parts.append(QByteArray());
            continue;
        }
        parts.last() += c;
    }
    for (QByteArray& part : parts)
        part = part.trimmed();
    return parts;
}

// A string argument written by -xx: "\x41\x42".
QByteArray bytesOf(const QByteArray& argument) {
    return QByteArray::fromHex(argument.sliced(1, argument.size() - 2).replace("\\x", ""));
}

// Everything one command did to the files below a folder.
class Recording {
public:
    // What is below `root` before the command runs, taken as on the disk.
    explicit Recording(const QString& root) : m_root(QFile::encodeName(root)) {
        QHash<ino_t, int> byInode;
        QDirIterator files(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QByteArray name = QFile::encodeName(files.next());
            struct stat status {};
            QVERIFY(::stat(name.constData(), &status) == 0);
            if (!byInode.contains(status.st_ino)) {
                byInode.insert(status.st_ino, int(m_start.size()));
                m_start.append(TestFiles::readFile(files.filePath()));
            }
            m_startNames.insert(name, byInode.value(status.st_ino));
        }
        m_names = m_startNames;
        m_contents = m_start;
    }

    // Reads the log of the command, run in `root`.
    void read(const QByteArray& log) {
        QHash<QByteArray, QByteArray> unfinished;
        QByteArray command; // the process the test started; its threads come and go
        for (const QByteArray& raw : log.split('\n')) {
            const qsizetype space = raw.indexOf(' ');
            if (space < 0)
                continue;
            const QByteArray pid = raw.left(space);
            if (command.isEmpty())
                command = pid;
            QByteArray line = raw.sliced(space + 1).trimmed(); // pids are padded
            if (line.startsWith("+++ exited with ")) {
                if (pid == command) {
                    m_exit = line.sliced(16, line.indexOf(' ', 16) - 16).toInt();
                    succeeded();
                }
                continue;
            }
            if (line.endsWith(" <unfinished ...>")) {
                unfinished.insert(pid, line.chopped(17));
                continue;
            }
            if (line.startsWith("<... ")) {
                line = unfinished.take(pid) + line.sliced(line.indexOf("resumed>") + 8);
            }
            // Strings are all written as \x escapes: " = " is the result's.
            const qsizetype open = line.indexOf('('), result = line.lastIndexOf(" = ");
            const qsizetype end = line.lastIndexOf(')', result);
            if (open < 0 || end < open)
                continue;
            Call call{line.left(open), splitArguments(line.sliced(open + 1, end - open - 1)),
                      line.sliced(result + 3).split(' ').first().toLongLong()};
            if (call.result >= 0)
                take(call);
        }
    }

    int exitCode() const { return m_exit; }
    qsizetype steps() const { return m_steps.size(); }
    // The first step at which the command reported success: its report on
    // standard output, or its exit.
    qsizetype successStep() const { return m_success; }

    // What is under `name` below the root after a power cut just before
    // step `cut`: only the writes synced before it are kept, and the names
    // synced, or with `namesKept` every name given (a file system may write
    // its folders out at any moment).
    std::optional<QByteArray> afterPowerCut(const QString& name, qsizetype cut,
                                            bool namesKept = false) const {
        QHash<QByteArray, int> names = m_startNames;
        QList<QByteArray> contents = m_start;
        contents.resize(m_contents.size());
        for (qsizetype i = 0; i < cut; ++i) {
            const Step& step = m_steps[i];
            if (!(namesKept && step.kind == Step::Name) && !syncedBefore(i, cut))
                continue;
            apply(step, names, contents);
        }
        const auto found = names.constFind(m_root + '/' + QFile::encodeName(name));
        if (found == names.cend())
            return std::nullopt;
        return contents[*found];
    }

private:
    struct Descriptor {
        explicit Descriptor(int f = -1, QByteArray inFolder = {})
            : file(f), folder(std::move(inFolder)) {}
        int file;          // -1 for a folder
        QByteArray folder; // of a folder
        qint64 position = 0;
    };

    // Whether a sync between step `i` and the cut covers it.
    bool syncedBefore(qsizetype i, qsizetype cut) const {
        const Step& step = m_steps[i];
        if (step.kind != Step::Write && step.kind != Step::Truncate && step.kind != Step::Name)
            return false;
        for (qsizetype j = i + 1; j < cut; ++j) {
            const Step& sync = m_steps[j];
            if (sync.kind == Step::SyncAll ||
                (sync.kind == Step::SyncFile && step.kind != Step::Name &&
                 sync.file == step.file) ||
                (sync.kind == Step::SyncFolder && step.kind == Step::Name &&
                 sync.place == folderOf(step.place)))
                return true;
        }
        return false;
    }

    QByteArray pathOf(const QByteArray& argument) const {
        const QByteArray path = bytesOf(argument);
        return path.startsWith('/') ? path : m_root + '/' + path;
    }
    bool mine(const QByteArray& path) const { return path.startsWith(m_root + '/'); }

    static void apply(const Step& step, QHash<QByteArray, int>& names,
                      QList<QByteArray>& contents) {
        if (step.kind == Step::Write) {
            QByteArray& data = contents[step.file];
            if (data.size() < step.offset + step.bytes.size())
                data.resize(step.offset + step.bytes.size(), '\0');
            data.replace(step.offset, step.bytes.size(), step.bytes);
        } else if (step.kind == Step::Truncate) {
            contents[step.file].resize(step.offset, '\0');
        } else if (step.kind == Step::Name && step.file < 0) {
            names.remove(step.place);
        } else if (step.kind == Step::Name) {
            names.insert(step.place, step.file);
        }
    }
    void add(Step step) {
        apply(step, m_names, m_contents);
        m_steps.append(std::move(step));
    }
    void succeeded() {
        if (m_success < 0) {
            m_success = m_steps.size();
            m_steps.append(Step(Step::Success));
        }
    }
    void name(const QByteArray& path, int file) {
        if (mine(path))
            add({Step::Name, file, path});
    }

    void opened(const QByteArray& path, const QByteArray& flags, int fd) {
        if (!mine(path) && path != m_root)
            return;
        // Folders stay; files may have gone since.
        if (flags.contains("O_DIRECTORY") || QFileInfo(QFile::decodeName(path)).isDir()) {
            m_descriptors.insert(fd, Descriptor(-1, path));
            return;
        }
        if (!m_names.contains(path)) {
            m_contents.append(QByteArray());
            name(path, int(m_contents.size() - 1));
        }
        const int file = m_names.value(path);
        if (flags.contains("O_TRUNC"))
            add({Step::Truncate, file});
        m_descriptors.insert(fd, Descriptor(file));
    }

    void take(const Call& call) {
        const QList<QByteArray>& a = call.arguments;
        const auto fd = [&](int i) { return a[i].toInt(); };
        const auto tracked = [&](int i) -> Descriptor* {
            const auto found = m_descriptors.find(fd(i));
            return found == m_descriptors.end() ? nullptr : &*found;
        };
        const QByteArray& n = call.name;
        if (n == "openat")
            opened(pathOf(a[1]), a[2], int(call.result));
        else if (n == "open")
            opened(pathOf(a[0]), a[1], int(call.result));
        else if (n == "close")
            m_descriptors.remove(fd(0));
        else if (n == "dup" || n == "dup2" || n == "dup3" ||
                 (n == "fcntl" && a[1].startsWith("F_DUPFD"))) {
            if (const Descriptor* from = tracked(0))
                m_descriptors.insert(int(call.result), *from);
        } else if (n == "read" || n == "lseek") {
            if (Descriptor* d = tracked(0))
                d->position = n == "read" ? d->position + call.result : call.result;
        } else if (n == "write" && fd(0) == 1) {
            succeeded();
        } else if (n == "write" || n == "pwrite64") {
            Descriptor* d = tracked(0);
            if (!d || d->file < 0)
                return;
            const qint64 at = n == "write" ? d->position : a[3].toLongLong();
            add({Step::Write, d->file, {}, at, bytesOf(a[1]).left(call.result)});
            if (n == "write")
                d->position += call.result;
        } else if (n == "copy_file_range") {
            Descriptor *from = tracked(0), *to = tracked(2);
            if (!to || !from || a[1] != "NULL" || a[3] != "NULL")
                return;
            add({Step::Write,
                 to->file,
                 {},
                 to->position,
                 m_contents[from->file].mid(from->position, call.result)});
            from->position += call.result;
            to->position += call.result;
        } else if (n == "ftruncate") {
            if (const Descriptor* d = tracked(0))
                add({Step::Truncate, d->file, {}, a[1].toLongLong()});
        } else if (n == "fsync" || n == "fdatasync") {
            if (const Descriptor* d = tracked(0))
                add(d->file < 0 ? Step{Step::SyncFolder, -1, d->folder}
                                : Step{Step::SyncFile, d->file});
        } else if (n == "syncfs" || n == "sync") {
            add({Step::SyncAll});
        } else if (n == "rename" || n == "renameat" || n == "renameat2") {
            const bool at = n != "rename";
            const QByteArray from = pathOf(a[at ? 1 : 0]), to = pathOf(a[at ? 3 : 1]);
            name(to, m_names.value(from, -1));
            name(from, -1);
        } else if (n == "link" || n == "linkat") {
            const bool at = n == "linkat";
            name(pathOf(a[at ? 3 : 1]), m_names.value(pathOf(a[at ? 1 : 0]), -1));
        } else if (n == "unlink" || n == "unlinkat") {
            name(pathOf(a[n == "unlinkat" ? 1 : 0]), -1);
        }
    }

    QByteArray m_root;
    QHash<QByteArray, int> m_startNames, m_names;
    QList<QByteArray> m_start, m_contents; // by file, as at the start and now
    QHash<int, Descriptor> m_descriptors;
    QList<Step> m_steps;
    qsizetype m_success = -1;
    int m_exit = -1;
};

QByteArray picture(int i) {
    return TestFiles::jpeg(8 + i, 8, QColor::fromHsv(i * 35, 200, 200));
}

} // namespace

class TestDurability : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void successIsOnTheDisk_data();
    void successIsOnTheDisk();
    void failedSyncIsAFailure_data();
    void failedSyncIsAFailure();

private:
    void prepare(const QString& setup, const QString& root);
    // The command of a row, with `strace` before it.
    static QStringList commandLine(QStringList command, const QStringList& strace = {});
    QString m_strace;
};

void TestDurability::initTestCase() {
    m_strace = QStandardPaths::findExecutable(u"strace"_s);
    if (m_strace.isEmpty())
        QSKIP("strace is not installed (scripts/deps installs it)");
}

// A row per command that reports a file made or written. `targets` are the
// files it reports; with `torn`, a power cut at any step must leave each
// target as it was or whole and new (a copy made in place may be cut short).
void TestDurability::successIsOnTheDisk_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("command"); // "tbrtool" or "export-one" first
    QTest::addColumn<QStringList>("targets");
    QTest::addColumn<bool>("torn");
    const QString tool = u"tbrtool"_s, one = u"export-one"_s;
    QTest::newRow("create") << u""_s << QStringList{tool, u"create"_s, u"new.tbr"_s}
                            << QStringList{u"new.tbr"_s} << true;
    QTest::newRow("clone") << u"library"_s
                           << QStringList{tool, u"clone"_s, u"lib.tbr"_s, u"new.tbr"_s}
                           << QStringList{u"new.tbr"_s} << true;
    QTest::newRow("clone, whole copy emptied")
        << u"analysed library"_s << QStringList{tool, u"clone"_s, u"lib.tbr"_s, u"new.tbr"_s}
        << QStringList{u"new.tbr"_s} << true;
    QTest::newRow("backup") << u"library"_s
                            << QStringList{tool, u"backup"_s, u"lib.tbr"_s, u"copy.tbr"_s}
                            << QStringList{u"copy.tbr"_s} << true;
    QTest::newRow("backup, write-ahead log")
        << u"log library"_s << QStringList{tool, u"backup"_s, u"lib.tbr"_s, u"copy.tbr"_s}
        << QStringList{u"copy.tbr"_s} << true;
    QTest::newRow("export") << u"library"_s
                            << QStringList{tool, u"export"_s, u"lib.tbr"_s, u"out"_s}
                            << QStringList{u"out/a.jpg"_s, u"out/b.jpg"_s, u"out/c.jpg"_s} << false;
    QTest::newRow("export one, new")
        << u""_s << QStringList{one, u"score.jpg"_s} << QStringList{u"score.jpg"_s} << true;
    QTest::newRow("export one, replacing") << u"old picture"_s << QStringList{one, u"score.jpg"_s}
                                           << QStringList{u"score.jpg"_s} << true;
    QTest::newRow("export one, in place") << u"linked picture"_s << QStringList{one, u"score.jpg"_s}
                                          << QStringList{u"score.jpg"_s, u"link.jpg"_s} << false;
}

void TestDurability::prepare(const QString& setup, const QString& root) {
    QVERIFY(QDir(root).mkdir(u"out"_s));
    TestFiles::writeFile(root + u"/new.data"_s, picture(9).repeated(20));
    if (setup.endsWith(u"library"_s)) {
        TestFiles::makeLibrary(root + u"/lib.tbr"_s,
                               {{u"a"_s, picture(1)}, {u"b"_s, picture(2)}, {u"c"_s, picture(3)}});
    }
    if (setup == u"analysed library")
        TestFiles::execute(root + u"/lib.tbr"_s,
                           u"create index n on pictures(filename); analyze"_s);
    if (setup == u"log library")
        TestFiles::execute(root + u"/lib.tbr"_s, u"pragma journal_mode = wal"_s);
    if (setup.endsWith(u"picture"_s))
        TestFiles::writeFile(root + u"/score.jpg"_s, picture(4));
    if (setup == u"linked picture")
        QCOMPARE(::link(QFile::encodeName(root + u"/score.jpg"_s).constData(),
                        QFile::encodeName(root + u"/link.jpg"_s).constData()),
                 0);
}

void TestDurability::successIsOnTheDisk() {
    QFETCH(QString, setup);
    QFETCH(QStringList, command);
    QFETCH(QStringList, targets);
    QFETCH(bool, torn);
    QTemporaryDir dir;
    const QString root = QFileInfo(dir.path()).canonicalFilePath() + u"/files"_s,
                  logFile = dir.filePath(u"strace.log"_s);
    QVERIFY(QDir().mkdir(root));
    prepare(setup, root);
    Recording recording(root);

    const QStringList arguments =
        commandLine(command, {m_strace, u"-f"_s, u"-o"_s, logFile, u"-s"_s, u"10000000"_s, u"-xx"_s,
                              u"-e"_s, u"trace=%file,%desc,sync"_s, u"--"_s});
    QProcess run;
    run.setWorkingDirectory(root);
    run.start(arguments.first(), arguments.mid(1));
    QVERIFY(run.waitForFinished(60'000));
    QCOMPARE(run.readAllStandardError(), QByteArray());
    QFile log(logFile);
    QVERIFY(log.open(QIODevice::ReadOnly));
    recording.read(log.readAll());
    QCOMPARE(recording.exitCode(), 0);

    for (const QString& target : targets) {
        const std::optional<QByteArray> before = recording.afterPowerCut(target, 0);
        const QByteArray after = TestFiles::readFile(root + u'/' + target);
        QVERIFY(!after.isEmpty());
        QVERIFY2(recording.afterPowerCut(target, recording.successStep()) == after,
                 qPrintable(target + u" is not on the disk when success is reported"_s));
        for (qsizetype cut = 0; torn && cut <= recording.steps(); ++cut) {
            for (const bool namesKept : {false, true}) {
                const auto kept = recording.afterPowerCut(target, cut, namesKept);
                if (kept != before && kept != after)
                    QFAIL(qPrintable(
                        u"a power cut before step %1 leaves %2 of %3 bytes as %4"_s.arg(cut)
                            .arg(kept ? kept->size() : -1)
                            .arg(after.size())
                            .arg(target)));
                if (cut > recording.successStep() && kept != after)
                    QFAIL(qPrintable(u"a power cut after success loses "_s + target));
            }
        }
    }
}

QStringList TestDurability::commandLine(QStringList command, const QStringList& strace) {
    if (command.takeFirst() == u"tbrtool")
        return strace + QStringList(QStringLiteral(TBRTOOL_PATH)) + command;
    return strace + QStringList{QCoreApplication::applicationFilePath(), u"--export-one"_s} +
           command + QStringList(u"new.data"_s);
}

// A disk that fails every sync: the command fails with the system's reason,
// and leaves what it was making nowhere, or the old file as it was.
void TestDurability::failedSyncIsAFailure_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("failure");  // "<root>" for the folder
    QTest::addColumn<QStringList>("left"); // the files written that stay
    const QString tool = u"tbrtool"_s, one = u"export-one"_s;
    const QString ioError = u". Input/output error"_s;
    QTest::newRow("backup") << u"library"_s
                            << QStringList{tool, u"backup"_s, u"lib.tbr"_s, u"copy.tbr"_s}
                            << u"Cannot write file \"<root>/copy.tbr\""_s + ioError
                            << QStringList();
    QTest::newRow("export") << u"library"_s
                            << QStringList{tool, u"export"_s, u"lib.tbr"_s, u"out"_s}
                            << u"Cannot write into folder \"<root>/out\""_s + ioError
                            << QStringList{u"out/a.jpg"_s, u"out/b.jpg"_s, u"out/c.jpg"_s};
    QTest::newRow("export one, new")
        << u""_s << QStringList{one, u"score.jpg"_s}
        << u"Cannot write file \"<root>/score.jpg\""_s + ioError << QStringList();
    QTest::newRow("export one, replacing")
        << u"old picture"_s << QStringList{one, u"score.jpg"_s}
        << u"Cannot write file \"<root>/score.jpg\""_s + ioError << QStringList();
}

void TestDurability::failedSyncIsAFailure() {
    QFETCH(QString, setup);
    QFETCH(QStringList, command);
    QFETCH(QString, failure);
    QFETCH(QStringList, left);
    QTemporaryDir dir;
    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    prepare(setup, root);
    const QStringList before = TestFiles::entriesBelow(root);
    const QString picture = root + u"/score.jpg"_s;
    const QByteArray old = QFile::exists(picture) ? TestFiles::readFile(picture) : QByteArray();

    const QStringList arguments = commandLine(command);
    QProcess run;
    run.setWorkingDirectory(root);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LD_PRELOAD"_s, QStringLiteral(FAILINGSYNC_PATH));
    // A sanitized build's run-time would insist on coming first.
    const QString sanitizer = environment.value(u"ASAN_OPTIONS"_s);
    environment.insert(u"ASAN_OPTIONS"_s, (sanitizer.isEmpty() ? sanitizer : sanitizer + u':') +
                                              u"verify_asan_link_order=0"_s);
    run.setProcessEnvironment(environment);
    run.start(arguments.first(), arguments.mid(1));
    QVERIFY(run.waitForFinished(60'000));
    QCOMPARE(run.exitCode(), 1);
    const QString error = QString::fromUtf8(run.readAllStandardError());
    QVERIFY2(error.contains(QString(failure).replace(u"<root>"_s, root)), qPrintable(error));
    QStringList after = before + left;
    after.sort();
    QCOMPARE(TestFiles::entriesBelow(root), after);
    if (!old.isEmpty())
        QCOMPARE(TestFiles::readFile(picture), old);
}

int main(int argc, char** argv) {
    if (argc == 4 && qstrcmp(argv[1], "--export-one") == 0) {
        try {
            writeWholeFile(QFile::decodeName(argv[2]), readWholeFile(QFile::decodeName(argv[3])));
            return 0;
        } catch (const Error& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    QCoreApplication app(argc, argv);
    TestDurability test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_durability.moc"
