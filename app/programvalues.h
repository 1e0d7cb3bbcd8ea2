#pragma once

#include <QString>

// The values the commands share: owned by the main window, so that each
// window (and each test) starts clean.
struct ProgramValues {
    // The number the count label shows.
    qint32 PictureCount = 0;
    // The name the naming dialog accepted last.
    QString PendingName;
    // Set by the naming dialog when a name was accepted; read and cleared by
    // the command that opened it.
    bool NameConfirmed = false;
};
