// Preloaded into a command, makes every sync fail as a failing disk does.

#include <cerrno>

extern "C" {

int fsync(int) {
    errno = EIO;
    return -1;
}

int fdatasync(int) {
    errno = EIO;
    return -1;
}

int syncfs(int) {
    errno = EIO;
    return -1;
}
}
