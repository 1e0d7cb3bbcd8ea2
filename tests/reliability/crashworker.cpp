// crashworker: changes a library through the store without end, so that a
// test can kill it at any moment and check what the file holds.
//
//   crashworker LIBRARY JOURNAL SEED     imports, renames and deletes at random
//   crashworker LIBRARY JOURNAL SEED N   imports N scores, then stops
//
// Before each change it appends "begin <what>" to JOURNAL and after the
// store has returned "done"; every name and picture is made from a number
// (see workerPicture), so the checker can tell exactly what must be there.

#include "connection.h"
#include "recordset.h"
#include "workerpicture.h"

#include <QCoreApplication>
#include <QFile>

#include <random>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

class Journal {
public:
    explicit Journal(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND, 0644)) {}
    ~Journal() { ::close(m_fd); }
    // Unbuffered: a line is in the file as soon as this returns.
    void line(const QString& text) {
        const QByteArray bytes = (text + u'\n').toUtf8();
        if (::write(m_fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
            std::exit(3);
    }

private:
    int m_fd;
};

class Worker {
public:
    Worker(const QString& library, Journal& journal, unsigned seed)
        : m_journal(journal), m_random(seed), m_serial(qint64(seed) * 1'000'000) {
        m_connection.SetDatabase(library);
        m_records.Open();
    }

    void importScore() {
        const qint64 serial = ++m_serial;
        JpegPicture picture = JpegPicture::fromJpegData(workerPicture(serial));
        m_journal.line(u"begin import %1"_s.arg(serial));
        m_records.Append();
        m_records.FieldByName(u"filename"_s).SetAsString(workerName(serial));
        m_records.FieldByName(u"picture"_s).StorePicture(picture);
        m_records.Post();
        m_journal.line(u"done"_s);
    }

    void renameScore() {
        if (!moveSomewhere())
            return;
        const QString from = m_records.CurrentName();
        const QString to = workerName(++m_serial) + u" renamed"_s;
        m_journal.line(u"begin rename %1|%2"_s.arg(from, to));
        m_records.Edit();
        m_records.FieldByName(u"filename"_s).SetAsString(to);
        m_records.Post();
        m_journal.line(u"done"_s);
    }

    void deleteScore() {
        if (m_records.RecordCount() < 2 || !moveSomewhere())
            return;
        m_journal.line(u"begin delete %1"_s.arg(m_records.CurrentName()));
        m_records.Delete();
        m_journal.line(u"done"_s);
    }

    // Keeps the library to a few hundred scores, so each check stays quick.
    void anything() {
        const int pick =
            m_records.RecordCount() > 200 ? 9 : std::uniform_int_distribution<int>(0, 9)(m_random);
        if (pick < 5)
            importScore();
        else if (pick < 8)
            renameScore();
        else
            deleteScore();
    }

private:
    bool moveSomewhere() {
        const int count = m_records.RecordCount();
        if (count == 0)
            return false;
        m_records.First();
        m_records.MoveBy(std::uniform_int_distribution<int>(0, count - 1)(m_random));
        return true;
    }

    Journal& m_journal;
    Connection m_connection;
    RecordSet m_records{m_connection};
    std::mt19937 m_random;
    qint64 m_serial;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4 && args.size() != 5)
        return 2;
    Journal journal(args[2]);
    Worker worker(args[1], journal, args[3].toUInt());
    if (args.size() == 5) {
        for (int i = args[4].toInt(); i > 0; --i)
            worker.importScore();
        return 0;
    }
    for (;;)
        worker.anything();
}
