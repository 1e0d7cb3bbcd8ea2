#pragma once

#include "failure.h"

#include <atomic>
#include <functional>

#include <sys/resource.h>
#include <sys/types.h>

// The user a root test acts as where root's rights would hide the outcome.
constexpr uid_t Nobody = 65534;
constexpr gid_t NoGroup = 65534;

bool isRoot();

struct ChildSetup {
    bool asUser = false;
    rlim_t fileSizeLimit = RLIM_INFINITY;
};

// What `action` fails with when run in a child process. The child is killed
// after two minutes, so an action that would wait forever fails the test
// instead of stopping it, and it may use at most 2 GiB of memory, so one that
// reads without end fails soon. With `asUser` a root test acts as the user
// nobody; a file size limit stands in for a full disk.
Failure inChild(const std::function<void()>& action, ChildSetup setup = {});

// Waits until the thread or process `id` sleeps for a while, as one that
// found a library locked does before it tries again: then it has been turned
// away at least once. False when it ended first, or `over` was set first.
bool waitUntilAsleep(pid_t id, const std::atomic_bool* over = nullptr);
