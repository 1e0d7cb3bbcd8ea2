#pragma once

#include <QList>
#include <QStringList>

#include <functional>

#include <sys/types.h>

// Milliseconds that `work` takes, on the steady clock.
double millisecondsOf(const std::function<void()>& work);

// A program found on PATH, its output thrown away, with `environment`
// ("NAME=value") over the benchmark's own.
struct Program {
    Program(QStringList command_, QStringList environment_ = {})
        : command(std::move(command_)), environment(std::move(environment_)) {}
    QStringList command;
    QStringList environment;
};
// Starts `program`; its error output is thrown away too when `quiet`.
pid_t startProgram(const Program& program, bool quiet = false);
// Waits for a program started so, and fails when it did not succeed.
void waitForProgram(pid_t pid, const Program& program);

// Runs a program to its end, and fails when it does not succeed.
void runProgram(const Program& program);
// Milliseconds that `commands` take, run one after the other and timed from outside.
double millisecondsOfPrograms(const QList<QStringList>& commands);

double median(QList<double> samples);
// Each sample plus `ms`.
QList<double> shifted(QList<double> samples, double ms);
// Each sample less the median of `startup`: a program's samples without its
// process start, timed by running it on next to nothing in the same turns.
QList<double> lessStartup(const QList<double>& samples, const QList<double>& startup);

// One side of a comparison: untimed preparation, the timed work (which
// returns its own milliseconds), untimed clean-up.
struct Trial {
    std::function<void()> before = [] {};
    std::function<double()> timed;
    std::function<void()> after = [] {};
};

// Runs every trial once untimed, so that the file cache is warm for each
// alike, then `times` timed runs of each, taking turns so that every side
// meets the machine in the same state. The samples, one list per trial.
QList<QList<double>> takeTurns(int times, const QList<Trial>& trials);

// A trial of `commands`, run one after the other, then `after`, untimed.
Trial programTrial(
    const QList<QStringList>& commands, std::function<void()> after = [] {});

// `text` as an SQL string literal.
QString sqlText(const QString& text);
// sqlite3 running `sql` on `library`.
QStringList sqlite(const QString& library, const QString& sql);

void emptyFolder(const QString& folder);
// Every run of a large write starts with nothing left to flush from the one before.
void emptyFolderAndFlush(const QString& folder);
