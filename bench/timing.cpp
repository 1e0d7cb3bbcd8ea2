#include "timing.h"

#include "errors.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace Qt::StringLiterals;

double millisecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double, std::milli> taken =
        std::chrono::steady_clock::now() - start;
    return taken.count();
}

namespace {

// posix_spawn rather than QProcess: no event loop and no pipes between the
// clock and the program.
pid_t spawn(const QStringList& command) {
    std::vector<QByteArray> arguments;
    for (const QString& argument : command)
        arguments.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failure = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failure != 0)
        throw Error(u"cannot start %1"_s.arg(command.first()));
    return pid;
}

void waitFor(pid_t pid, const QStringList& command) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw Error(u"failed: %1"_s.arg(command.join(u' ')));
}

} // namespace

void runProgram(const QStringList& command) {
    waitFor(spawn(command), command);
}

double millisecondsOfPrograms(const QList<QStringList>& commands) {
    return millisecondsOf([&] {
        for (const QStringList& command : commands)
            runProgram(command);
    });
}

double median(QList<double> samples) {
    if (samples.isEmpty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const qsizetype middle = samples.size() / 2;
    return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

QList<QList<double>> takeTurns(int times, const QList<Trial>& trials) {
    const auto once = [](const Trial& trial) {
        trial.before();
        const double ms = trial.timed();
        trial.after();
        return ms;
    };
    for (const Trial& trial : trials)
        once(trial);
    QList<QList<double>> samples(trials.size());
    for (int run = 0; run < times; ++run)
        for (qsizetype side = 0; side < trials.size(); ++side)
            samples[side].append(once(trials[side]));
    return samples;
}
