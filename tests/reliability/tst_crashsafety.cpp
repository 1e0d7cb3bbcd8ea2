// A library survives its program being killed at any moment: after every kill
// the file is sound, every change the store had finished is in it byte for
// byte, and the change in progress is either wholly there or not at all.
//
// TAMBLOR_CRASH_RUNS sets the number of kills (default 20).

#include "libraryfiles.h"
#include "workerpicture.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <random>

#include <signal.h>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

using Scores = QMap<QString, QByteArray>; // name -> picture bytes

struct Change {
    QString what; // import, rename, delete
    QString argument;
    bool done = false;
};

QList<Change> readJournal(const QString& path) {
    QList<Change> changes;
    // A worker killed before it made its journal changed nothing.
    if (!QFile::exists(path))
        return changes;
    for (const QByteArray& line : TestFiles::readFile(path).split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (text == u"done")
            changes.last().done = true;
        else if (text.startsWith(u"begin "))
            changes << Change{text.section(u' ', 1, 1), text.section(u' ', 2), false};
    }
    return changes;
}

Scores applied(Scores scores, const Change& change) {
    if (change.what == u"import") {
        const qint64 serial = change.argument.toLongLong();
        scores.insert(workerName(serial), workerPicture(serial));
    } else if (change.what == u"rename") {
        const QString from = change.argument.section(u'|', 0, 0);
        scores.insert(change.argument.section(u'|', 1), scores.take(from));
    } else if (change.what == u"delete") {
        scores.remove(change.argument);
    }
    return scores;
}

QString integrity(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_stmt* check = nullptr;
    sqlite3_prepare_v2(db, "pragma integrity_check", -1, &check, nullptr);
    QString result;
    while (sqlite3_step(check) == SQLITE_ROW)
        result += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)));
    sqlite3_finalize(check);
    sqlite3_close(db);
    return result;
}

Scores stored(const QString& path) {
    Scores scores;
    for (const TestFiles::Record& record : TestFiles::readLibrary(path))
        scores.insert(record.name.value_or(QString()), record.picture.value_or(QByteArray()));
    return scores;
}

int runs() {
    const int asked = qEnvironmentVariableIntValue("TAMBLOR_CRASH_RUNS");
    return asked > 0 ? asked : 20;
}

} // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        TestFiles::makeLibrary(library());
    }
    void killedAtAnyMomentLosesNothing();
    void twoProgramsImportSideBySide();

private:
    QString library() const { return m_dir->filePath(u"pictures.tbr"_s); }
    QString journal(int n) const { return m_dir->filePath(u"journal-%1"_s.arg(n)); }
    QProcess* startWorker(int seed, const QStringList& extra = {}) {
        auto* worker = new QProcess(this);
        worker->start(QStringLiteral(CRASHWORKER_PATH),
                      QStringList{library(), journal(seed), QString::number(seed)} + extra);
        return worker;
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCrashSafety::killedAtAnyMomentLosesNothing() {
    std::mt19937 random(20261207);
    Scores expected;
    int changesSeen = 0, inFlightLanded = 0;
    for (int run = 1; run <= runs(); ++run) {
        QProcess* worker = startWorker(run);
        QVERIFY(worker->waitForStarted());
        // The moment is drawn from once a first change is done and a second
        // begun, however long a loaded machine (or a sanitizer build) takes
        // to get there: each kill falls among real work.
        while (readJournal(journal(run)).size() < 2 && worker->state() == QProcess::Running)
            worker->waitForFinished(5);
        QVERIFY2(readJournal(journal(run)).size() >= 2, "the worker stopped before its work");
        QTest::qWait(std::uniform_int_distribution<int>(0, 230)(random));
        ::kill(pid_t(worker->processId()), SIGKILL);
        QVERIFY(worker->waitForFinished());
        delete worker;

        QCOMPARE(integrity(library()), u"ok"_s);
        const QList<Change> changes = readJournal(journal(run));
        for (const Change& change : changes)
            if (change.done)
                expected = applied(expected, change);
        changesSeen += int(changes.size());
        const Scores actual = stored(library());
        if (!changes.isEmpty() && !changes.last().done && actual != expected) {
            // Killed between the store's commit and the journal's "done".
            expected = applied(expected, changes.last());
            ++inFlightLanded;
        }
        QVERIFY2(actual == expected, qPrintable(u"run %1: %2 scores stored, %3 expected"_s.arg(run)
                                                    .arg(actual.size())
                                                    .arg(expected.size())));
    }
    qInfo("%d kills, %d changes, %d changes in flight that had landed, %d scores at the end",
          runs(), changesSeen, inFlightLanded, int(expected.size()));
    QVERIFY(changesSeen > runs()); // the kills fell among real work
}

// Two programs adding scores to one library at once: every score of both lands.
void TestCrashSafety::twoProgramsImportSideBySide() {
    QProcess* first = startWorker(1, {u"60"_s});
    QProcess* second = startWorker(2, {u"60"_s});
    for (QProcess* worker : {first, second}) {
        QVERIFY(worker->waitForFinished(120'000));
        QCOMPARE(worker->exitCode(), 0);
    }
    Scores expected;
    for (int seed : {1, 2})
        for (const Change& change : readJournal(journal(seed)))
            expected = applied(expected, change);
    QCOMPARE(expected.size(), 120);
    QVERIFY(stored(library()) == expected);
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
