#include "errors.h"

using namespace Qt::StringLiterals;

Error::Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

DataSetError::DataSetError(const QString& dataSetName, const QString& message)
    : Error(u"%1: %2"_s.arg(dataSetName, message)) {}

JpegError::JpegError(int code) : Error(u"JPEG error #%1"_s.arg(code)), m_code(code) {}

PictureTooLargeError::PictureTooLargeError(int width, int height)
    : Error(u"图片太大，无法显示：%1 × %2 像素"_s.arg(width).arg(height)) {}

FileError FileError::cannotOpen(const QString& path, const QString& reason) {
    return FileError(u"Cannot open file \"%1\". %2"_s.arg(path, reason));
}

FileError FileError::cannotCreate(const QString& path, const QString& reason) {
    return FileError(u"Cannot create file \"%1\". %2"_s.arg(path, reason));
}

FileError FileError::cannotWrite(const QString& path, const QString& reason) {
    return FileError(u"Cannot write file \"%1\". %2"_s.arg(path, reason));
}

FileError FileError::cannotWriteInto(const QString& folder, const QString& reason) {
    return FileError(u"Cannot write into folder \"%1\". %2"_s.arg(folder, reason));
}
