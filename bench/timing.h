#pragma once

#include <QList>
#include <QStringList>

#include <functional>

// Milliseconds that `work` takes, on the steady clock.
double millisecondsOf(const std::function<void()>& work);

// Runs a program found on PATH to its end with its output thrown away, and
// fails when it does not succeed.
void runProgram(const QStringList& command);
// Milliseconds that `commands` take, run one after the other and timed from outside.
double millisecondsOfPrograms(const QList<QStringList>& commands);

double median(QList<double> samples);

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
