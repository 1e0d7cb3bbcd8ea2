// add: picture files as new scores, all of them or none.

#include "command.h"

#include "picturefile.h"
#include "wholefile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Tbrtool {

namespace {

const QString NameOption = u"name"_s;

// The run of ASCII digits at the start of `text`, without its leading zeros;
// `length` is the whole run's.
QStringView numberAt(QStringView text, qsizetype& length) {
    length = 0;
    while (length < text.size() && text[length] >= u'0' && text[length] <= u'9')
        ++length;
    QStringView digits = text.first(length);
    while (digits.size() > 1 && digits.front() == u'0')
        digits = digits.sliced(1);
    return digits;
}

// Names as a file manager orders them: character by character, whatever the
// locale, but each run of digits by its value, so page2 comes before page10.
// Names equal so (page01, page1) go character by character.
bool inNameOrder(QStringView a, QStringView b) {
    QStringView restA = a, restB = b;
    while (!restA.isEmpty() && !restB.isEmpty()) {
        qsizetype lengthA = 1, lengthB = 1;
        const QStringView numberA = numberAt(restA, lengthA), numberB = numberAt(restB, lengthB);
        if (lengthA == 0 || lengthB == 0) {
            lengthA = lengthB = 1;
            if (restA.front() != restB.front())
                return restA.front() < restB.front();
        } else if (numberA.size() != numberB.size()) {
            return numberA.size() < numberB.size();
        } else if (numberA != numberB) {
            return numberA < numberB;
        }
        restA = restA.sliced(lengthA);
        restB = restB.sliced(lengthB);
    }
    return restA.size() != restB.size() ? restA.size() < restB.size() : a < b;
}

// The pictures of `folder` that add takes: its files (not those hidden, not
// those of its folders) whose extension the import reads, in name order.
QStringList picturesIn(const QString& folder) {
    static const QStringList Extensions = {u"jpg"_s, u"jpeg"_s, u"bmp"_s};
    QStringList pictures;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files)) {
        if (Extensions.contains(QFileInfo(name).suffix().toLower()))
            pictures.append(dir.filePath(name));
    }
    if (pictures.isEmpty())
        throw Error(folder + u": holds no .jpg, .jpeg or .bmp file"_s);
    std::sort(pictures.begin(), pictures.end(), inNameOrder);
    return pictures;
}

QStringList picturesOf(const QStringList& given) {
    QStringList pictures;
    for (const QString& path : given) {
        const QFileInfo file(path);
        // Named as missing, not as a file of an unknown kind.
        if (!file.exists())
            throw Error(
                path + u": "_s +
                FileError::cannotOpen(absoluteFilePath(path), u"No such file or directory"_s)
                    .message());
        pictures += file.isDir() ? picturesIn(path) : QStringList(path);
    }
    return pictures;
}

// Read and, a bitmap, encoded before the library is touched, so that what is
// wrong with a picture is told of its file.
JpegPicture readPicture(const QString& file) {
    return about(file, [&] {
        JpegPicture picture = loadPictureFile(file);
        picture.encode();
        return picture;
    });
}

void addPictures(const QCommandLineParser& parser, const QStringList& arguments) {
    const bool named = parser.isSet(NameOption);
    const auto checkNamed = [named](qsizetype count) {
        if (named && count != 1)
            throw UsageError(u"--name names one picture, not %1"_s.arg(count));
    };
    checkNamed(arguments.size() - 1);
    const QStringList files = picturesOf(arguments.mid(1));
    checkNamed(files.size());
    OpenLibrary library(arguments[0]);
    Transaction all = about(library.file, [&] { return Transaction(library.connection); });
    library.read();
    RecordSet& records = library.records;
    QByteArray added;
    for (const QString& file : files) {
        JpegPicture picture = readPicture(file);
        const QString name = named ? parser.value(NameOption) : QFileInfo(file).completeBaseName();
        about(library.file, [&] {
            records.Append();
            records.FieldByName(Columns::Name).SetAsString(name);
            records.FieldByName(Columns::Picture).StorePicture(picture);
            records.Post();
        });
        added += rowLine(records.IdAt(records.RecNo()), name.toUtf8());
    }
    write(added);
    flush();
    about(library.file, [&] { all.commit(); });
}

} // namespace

Command addCommand() {
    return {u"add"_s,
            u"picture files as new scores, all or none; prints their row ids and names"_s,
            {{u"LIB"_s, u"the library"_s},
             {u"FILE"_s,
              u"a JPEG file (stored byte for byte), a bitmap (stored as JPEG data) or a folder "
              u"(its .jpg, .jpeg and .bmp files in name order)"_s,
              Argument::Count::OneOrMore}},
            {QCommandLineOption(NameOption,
                                u"The score's name, for one picture; otherwise each file's "
                                u"name without its extension."_s,
                                u"NAME"_s)},
            addPictures};
}

} // namespace Tbrtool
