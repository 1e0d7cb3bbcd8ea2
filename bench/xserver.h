#pragma once

#include <QString>

#include <sys/types.h>

// An X server of the benchmark's own (Xvfb, 1280 x 1024), for the rows that
// time programs on a real display; stopped when the object goes.
class XServer {
public:
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // ":N", for DISPLAY.
    const QString& display() const { return m_display; }

private:
    pid_t m_pid = 0;
    QString m_display;
};
