// One whole session: start-up, an import, an export, quit. Run under the
// leak checker (scripts/sanitize) it must leave nothing of the program's own
// behind; in the ordinary run it checks that the session did its work.

#include "application.h"
#include "mainwindow.h"
#include "tform1.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestLeakCycle : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startImportExportQuit();
};

void TestLeakCycle::startImportExportQuit() {
    WorkFolder folder;
    folder.makeLibrary({{u"first"_s, TestFiles::jpeg(300, 200, Qt::red)}});
    const QString picture = folder.path(u"page.jpg"_s);
    TestFiles::writeFile(picture, TestFiles::jpeg(200, 300, Qt::blue));
    {
        auto form = startMainWindow();
        runWithModals([&] { form->LoadFormFile->trigger(); },
                      {chooseFile(picture), typeAndPress(u"second"_s, u"确定"_s)});
        runWithModals([&] { form->SaveFile2->trigger(); }, {chooseFile(folder.path(u"out"_s))});
        form->Exit2->trigger();
        QVERIFY(!form->isVisible());
    }
    QCOMPARE(TestFiles::readLibrary(folder.library()).size(), 2);
    QCOMPARE(TestFiles::readFile(folder.path(u"out.jpg"_s)), TestFiles::readFile(picture));
}

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    TestLeakCycle test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_leakcycle.moc"
