// samplepages: draws scan-sized guitar score pages (title, staff with notes,
// tablature with fret numbers, a little paper grain) and saves them as JPEG
// files at quality 90, so that a new workspace opens on real-looking scores.
//
//   samplepages OUTDIR [COUNT]     writes OUTDIR/1.jpg ... and OUTDIR/names.txt

#include "jpegpicture.h"
#include "pagedrawer.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

const Piece Pieces[] = {
    {u"爱的罗曼史"_s, u"吉他独奏   西班牙民歌"_s}, {u"绿袖子"_s, u"吉他独奏   英格兰民歌"_s},
    {u"小星星变奏曲"_s, u"古典吉他练习"_s},        {u"月光练习曲"_s, u"分解和弦练习"_s},
    {u"茉莉花"_s, u"吉他独奏   中国民歌"_s},       {u"音阶练习 C 大调"_s, u"第一把位"_s},
};

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2 || args.size() > 3) {
        QTextStream(stderr) << "usage: samplepages OUTDIR [COUNT]\n";
        return 2;
    }
    const QDir dir(args[1]);
    const int count = args.size() == 3 ? args[2].toInt() : 5;
    if (!QDir().mkpath(dir.path()) || count < 1 || count > int(std::size(Pieces))) {
        QTextStream(stderr) << "samplepages: cannot write " << count << " pages to " << dir.path()
                            << '\n';
        return 1;
    }
    QFile names(dir.filePath(u"names.txt"_s));
    if (!names.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QTextStream nameList(&names);
    for (int i = 0; i < count; ++i) {
        const QImage page = drawScorePage(Pieces[i], i + 1, unsigned(1000 + i));
        QFile file(dir.filePath(u"%1.jpg"_s.arg(i + 1)));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(JpegCodec::encode(page)) < 0) {
            QTextStream(stderr) << "samplepages: cannot write " << file.fileName() << '\n';
            return 1;
        }
        nameList << Pieces[i].title << '\n';
    }
    return 0;
}
