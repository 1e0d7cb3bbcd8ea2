#include "xserver.h"

#include "errors.h"
#include "timing.h"

#include <csignal>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// Everything `fd` gives until its first line ends or it closes.
QByteArray firstLine(int fd) {
    QByteArray line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line.append(c);
    return line;
}
} // namespace

// Xvfb picks a free display itself and writes its number to the pipe once it
// takes connections (-displayfd).
XServer::XServer() {
    int pipe[2];
    if (::pipe(pipe) != 0)
        throw Error(u"cannot make a pipe for Xvfb"_s);
    ::fcntl(pipe[0], F_SETFD, FD_CLOEXEC);
    const Program xvfb{{u"Xvfb"_s, u"-displayfd"_s, QString::number(pipe[1]), u"-screen"_s, u"0"_s,
                        u"1280x1024x24"_s, u"-nolisten"_s, u"tcp"_s}};
    try {
        m_pid = startProgram(xvfb, true);
    } catch (...) {
        ::close(pipe[0]);
        ::close(pipe[1]);
        throw;
    }
    ::close(pipe[1]);
    const QByteArray number = firstLine(pipe[0]).trimmed();
    ::close(pipe[0]);
    bool isNumber = false;
    number.toInt(&isNumber);
    if (!isNumber) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        throw Error(u"Xvfb did not start"_s);
    }
    m_display = u':' + QString::fromLatin1(number);
}

XServer::~XServer() {
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
}
