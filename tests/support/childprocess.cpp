#include "childprocess.h"

#include <QDeadlineTimer>
#include <QFile>

#include <csignal>
#include <thread>

#include <grp.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

bool isRoot() {
    return ::geteuid() == 0;
}

Failure inChild(const std::function<void()>& action, ChildSetup setup) {
    int ends[2];
    if (::pipe(ends) != 0)
        return {u"no pipe"_s, {}};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        const rlimit fileSize{setup.fileSizeLimit, setup.fileSizeLimit};
        ::signal(SIGXFSZ, SIG_IGN);
        if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0)
            ::_exit(2);
#ifndef __SANITIZE_ADDRESS__
        // Not under AddressSanitizer, whose shadow memory alone is over any
        // such limit: its next mapping would fail. The two minutes still hold.
        const rlimit memory{2LL << 30, 2LL << 30};
        if (::setrlimit(RLIMIT_AS, &memory) != 0)
            ::_exit(2);
#endif
        if (setup.asUser && isRoot() &&
            (::setgroups(0, nullptr) != 0 || ::setgid(NoGroup) != 0 || ::setuid(Nobody) != 0))
            ::_exit(2);
        const Failure failure = failureOf(action);
        const QByteArray report = (failure.kind + u'\n' + failure.message).toUtf8();
        ::_exit(::write(ends[1], report.constData(), size_t(report.size())) == report.size() ? 0
                                                                                             : 2);
    }
    ::close(ends[1]);
    QByteArray report;
    const QDeadlineTimer deadline(120'000);
    bool hung = false;
    for (;;) {
        pollfd readable{ends[0], POLLIN, 0};
        if (::poll(&readable, 1, int(deadline.remainingTime())) <= 0) {
            hung = true;
            ::kill(child, SIGKILL);
            break;
        }
        char chunk[4096];
        const ssize_t count = ::read(ends[0], chunk, sizeof chunk);
        if (count <= 0)
            break;
        report.append(chunk, count);
    }
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (hung)
        return {u"hung"_s, {}};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {u"died"_s, QString::number(status)};
    const qsizetype newline = report.indexOf('\n');
    return {QString::fromUtf8(report.left(newline)), QString::fromUtf8(report.sliced(newline + 1))};
}

bool waitUntilAsleep(pid_t id, const std::atomic_bool* over) {
    const QString folder = u"/proc/%1/"_s.arg(id);
    while (!over || !*over) {
        // The system call it is in: its number first, "running" when in none.
        QFile call(folder + u"syscall"_s);
        QFile status(folder + u"stat"_s);
        if (!call.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly))
            return false;
        const QByteArray state = status.readAll();
        const qsizetype name = state.lastIndexOf(')');
        if (name < 0 || state.mid(name + 2, 1) == "Z")
            return false;
        const long number = call.readAll().split(' ').value(0).toLong();
        if (number == SYS_clock_nanosleep || number == SYS_nanosleep)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}
