#include "command.h"

#include "wholefile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace Tbrtool {

// A failure to write is told once, when the output is flushed.
void write(QByteArrayView bytes) {
    std::fwrite(bytes.data(), 1, size_t(bytes.size()), stdout);
}

void flush() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw Error(u"standard output: "_s + QString::fromLocal8Bit(std::strerror(errno)));
}

void writeText(const QString& text) {
    write(text.toUtf8());
}

OpenLibrary::OpenLibrary(const QString& path) : file(path) {
    about(file, [&] {
        // Named plainly, rather than in the engine's words.
        if (!QFileInfo::exists(absoluteFilePath(file)))
            throw Error(u"no such library file"_s);
        connection.SetDatabase(file);
        connection.Open();
    });
}

void OpenLibrary::read(const Queries::Query& query) {
    records.SetSQL(query.text, query.parameters);
    about(file, [&] { records.Open(); });
}

namespace {

// The length of the UTF-8 sequence at the start of `bytes`, 0 when it is none.
qsizetype sequenceAt(QByteArrayView bytes) {
    const auto lead = uchar(bytes.front());
    const qsizetype length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
    const QByteArrayView sequence = bytes.first(std::min(length, bytes.size()));
    return sequence.size() == length && sequence.isValidUtf8() ? length : 0;
}

// C0 and C1 control characters, and DEL: a terminal may act on them.
bool isControl(QByteArrayView sequence) {
    const auto first = uchar(sequence.front());
    return first < 0x20 || first == 0x7f || (first == 0xc2 && uchar(sequence[1]) < 0xa0);
}

// A sequence, or a byte that is no part of one, as it appears between quotes.
QByteArray escaped(QByteArrayView sequence, bool valid) {
    if (!valid || isControl(sequence)) {
        switch (sequence.front()) {
        case '\n':
            return "\\n";
        case '\t':
            return "\\t";
        case '\r':
            return "\\r";
        }
        QByteArray hex;
        for (const char byte : sequence)
            hex += "\\x" + QByteArray::number(uchar(byte), 16).rightJustified(2, '0');
        return hex;
    }
    if (sequence == "\\" || sequence == "\"")
        return '\\' + sequence.toByteArray();
    return sequence.toByteArray();
}

} // namespace

// Between double quotes with C's escapes where it must be, every byte told.
QByteArray quotedName(QByteArrayView name) {
    QByteArray quoted;
    bool needed = name.startsWith('"');
    for (qsizetype at = 0; at < name.size();) {
        const qsizetype length = sequenceAt(name.sliced(at));
        const QByteArrayView sequence = name.sliced(at, std::max<qsizetype>(length, 1));
        const QByteArray shown = escaped(sequence, length > 0);
        needed = needed || shown != sequence;
        quoted += shown;
        at += sequence.size();
    }
    return needed ? '"' + quoted + '"' : name.toByteArray();
}

QByteArray rowLine(qint64 id, const std::optional<QByteArray>& name) {
    return QByteArray::number(id) + '\t' + quotedName(name.value_or(QByteArray())) + '\n';
}

void putName(QJsonObject& object, const QString& key, const std::optional<QByteArray>& name) {
    object[key] = name ? QJsonValue(QString::fromUtf8(*name)) : QJsonValue();
    if (name && !name->isValidUtf8())
        object[key + u"_base64"_s] = QString::fromLatin1(name->toBase64());
}

} // namespace Tbrtool
