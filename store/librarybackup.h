#pragma once

#include <QString>

#include <functional>

// What a backup copied.
struct LibraryBackup {
    qint64 pages = 0;
    int pageSize = 0;
    // How often the copy began again because another program changed the
    // library meanwhile.
    int restarts = 0;
};

// How a backup goes: the bytes of library pages copied in each step, and
// what hears of each step done (the pages copied so far, of all the pages).
struct BackupSteps {
    qint64 bytes = 64LL * 1024 * 1024;
    std::function<void(qint64 copied, qint64 total)> progress;
};

// Copies the library `source` into the new file `destination` through the
// engine's online backup: a copy of one committed state of the library, even
// while another program (the window) has it open and writes to it.
//
// The pages go over many megabytes at a time, the library left free between
// steps for others to read and write. A change by another program meanwhile
// makes the copy begin again; after MaxBackupRestarts of those the rest goes
// over in one step, which holds off writers until it is done. A library locked by
// another program is waited for for the busy time (Connection::BusyTimeoutMs),
// then the engine's error is thrown (EngineError, as for any failure to read
// the library). The destination is made new, never over a file that is there
// (FileError "Cannot create file ... File exists"); a failure to write it is
// FileError "Cannot write file ..." with the engine's words, and on any
// failure it is removed again. As with a file copy, nothing is flushed to the
// disk.
LibraryBackup backupLibrary(const QString& source, const QString& destination,
                            const BackupSteps& steps = {});

constexpr int MaxBackupRestarts = 3;
