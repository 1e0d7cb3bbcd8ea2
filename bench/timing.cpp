#include "timing.h"

#include "errors.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

// The benchmark's environment with `overrides` ("NAME=value") in place of
// the variables of the same names.
std::vector<QByteArray> environmentWith(const QStringList& overrides) {
    std::vector<QByteArray> result;
    const auto overridden = [&](const char* entry) {
        const QByteArray name = QByteArray(entry).split('=').first() + '=';
        return std::any_of(overrides.begin(), overrides.end(),
                           [&](const QString& o) { return o.toLocal8Bit().startsWith(name); });
    };
    for (char** entry = environ; *entry; ++entry)
        if (!overridden(*entry))
            result.emplace_back(*entry);
    for (const QString& entry : overrides)
        result.push_back(entry.toLocal8Bit());
    return result;
}

std::vector<char*> pointersTo(std::vector<QByteArray>& strings) {
    std::vector<char*> pointers;
    for (QByteArray& string : strings)
        pointers.push_back(string.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

// posix_spawn rather than QProcess: no event loop and no pipes between the
// clock and the program.
pid_t startProgram(const Program& program, bool quiet) {
    std::vector<QByteArray> arguments;
    for (const QString& argument : program.command)
        arguments.push_back(QFile::encodeName(argument));
    std::vector<QByteArray> environment = environmentWith(program.environment);
    const std::vector<char*> argv = pointersTo(arguments), envp = pointersTo(environment);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failure = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failure != 0)
        throw Error(u"cannot start %1"_s.arg(program.command.first()));
    return pid;
}

void waitForProgram(pid_t pid, const Program& program) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw Error(u"failed: %1"_s.arg(program.command.join(u' ')));
}

void runProgram(const Program& program) {
    waitForProgram(startProgram(program), program);
}

double millisecondsOfPrograms(const QList<QStringList>& commands) {
    return millisecondsOf([&] {
        for (const QStringList& command : commands)
            runProgram({command});
    });
}

double median(QList<double> samples) {
    if (samples.isEmpty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const qsizetype middle = samples.size() / 2;
    return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

QList<double> shifted(QList<double> samples, double ms) {
    for (double& sample : samples)
        sample += ms;
    return samples;
}

QList<double> lessStartup(const QList<double>& samples, const QList<double>& startup) {
    return shifted(samples, -median(startup));
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

Trial programTrial(const QList<QStringList>& commands, std::function<void()> after) {
    return {[] {}, [commands] { return millisecondsOfPrograms(commands); }, std::move(after)};
}

QString sqlText(const QString& text) {
    return u'\'' + QString(text).replace(u'\'', u"''"_s) + u'\'';
}

QStringList sqlite(const QString& library, const QString& sql) {
    return {u"sqlite3"_s, library, sql};
}

void emptyFolder(const QString& folder) {
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
}

void emptyFolderAndFlush(const QString& folder) {
    emptyFolder(folder);
    ::sync();
}
