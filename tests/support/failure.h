#pragma once

#include "errors.h"

#include <QString>

// What an action failed with: the kind of error, its message and, for a JPEG
// error, libjpeg's code. Kind "none" when the action did not fail.
struct Failure {
    QString kind;
    QString message;
    int code = -1;
};

template <class Action> Failure failureOf(Action&& action) {
    try {
        action();
    } catch (const JpegError& e) {
        return {QStringLiteral("JpegError"), e.message(), e.code()};
    } catch (const PictureTooLargeError& e) {
        return {QStringLiteral("PictureTooLargeError"), e.message()};
    } catch (const FileError& e) {
        return {QStringLiteral("FileError"), e.message()};
    } catch (const EngineError& e) {
        return {QStringLiteral("EngineError"), e.message()};
    } catch (const DataSetError& e) {
        return {QStringLiteral("DataSetError"), e.message()};
    } catch (const Error& e) {
        return {QStringLiteral("Error"), e.message()};
    }
    return {QStringLiteral("none"), {}};
}
