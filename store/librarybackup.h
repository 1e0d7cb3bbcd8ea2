#pragma once

#include "connection.h"

#include <QString>

#include <chrono>
#include <functional>

// What a backup copied.
struct LibraryBackup {
    qint64 pages = 0;
    int pageSize = 0;
    // How often the copy began again because another program changed the
    // library meanwhile.
    int restarts = 0;
    // Copied as one file, not page by page through the engine.
    bool wholeFile = false;
};

// How a backup goes: the bytes of library pages copied in each step, and
// what hears of each step done (the pages copied so far, of all the pages).
struct BackupSteps {
    qint64 bytes = 64LL * 1024 * 1024;
    std::function<void(qint64 copied, qint64 total)> progress;
    // How long other programs' writes may be held off by a copy of the whole
    // file, well within the time they wait for a lock.
    std::chrono::milliseconds holdAtMost{Connection::BusyTimeoutMs / 2};
};

// Copies the library `source` into the new file `destination`: a copy of one
// committed state of the library, even while another program (the window)
// has it open and writes to it.
//
// A library with a rollback journal is copied as one file inside the kernel
// while a read lock holds off other programs' writes, for at most
// `steps.holdAtMost`. Beyond that, and for a library with a write-ahead log,
// the engine's online backup copies it: many megabytes of pages at a time,
// the library left free between steps for others to read and write. A change
// by another program meanwhile makes that copy begin again; after
// MaxBackupRestarts of those the rest goes over in one step, which holds off
// writers until it is done. A library locked by another program is waited
// for for the busy time (Connection::BusyTimeoutMs), then the engine's error
// is thrown (EngineError, as for any failure to read the library). The
// destination is made new, never over a file that is there (FileError
// "Cannot create file ... File exists"): the copy is made under a hidden name
// beside it and takes the name once it is whole and on the disk (NewFile), so
// that a power cut leaves no copy or the whole one. A failure to write it is
// FileError "Cannot write file ..." with the system's or the engine's words,
// and on any failure nothing is left. The copy is kept with a rollback journal,
// whatever the library's mode, and must pass the engine's quick check: one
// that does not is removed and reported ("Cannot write file ..." naming the
// copy, or an EngineError when the library itself fails the check). Before
// this returns, the copy and its entry in its folder are on the disk; a failure
// to sync them is a failure, with the system's reason. For a program other than
// the one writing the library (tbrtool): the copy's closing lets go of this
// process's locks on the library file.
LibraryBackup backupLibrary(const QString& source, const QString& destination,
                            const BackupSteps& steps = {});

constexpr int MaxBackupRestarts = 3;
