#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Every failure the program reports is one of these: the text is exactly what
// the error report shows (before its full stop).
class Error : public std::exception {
public:
    explicit Error(QString message);
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A failure of the database engine, with the engine's own text.
class EngineError : public Error {
public:
    using Error::Error;
};

// A failure raised by the record set itself: "ADOQuery1: <message>".
class DataSetError : public Error {
public:
    DataSetError(const QString& dataSetName, const QString& message);
};

// A failure of the JPEG codec: "JPEG error #<libjpeg message code>".
class JpegError : public Error {
public:
    explicit JpegError(int code);
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

// A picture that could be read but is too large to turn into pixels.
class PictureTooLargeError : public Error {
public:
    PictureTooLargeError(int width, int height);
};

// A file that cannot be opened, read, created or written.
class FileError : public Error {
public:
    using Error::Error;
    static FileError cannotOpen(const QString& path, const QString& reason);
    static FileError cannotCreate(const QString& path, const QString& reason);
    static FileError cannotWrite(const QString& path, const QString& reason);
    static FileError cannotWriteInto(const QString& folder, const QString& reason);
};
