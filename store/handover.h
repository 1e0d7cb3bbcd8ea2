#pragma once

#include <utility>

#if defined(__SANITIZE_THREAD__)
#define TAMBLOR_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TAMBLOR_THREAD_SANITIZER 1
#endif
#endif
#ifdef TAMBLOR_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

// A function handed to another thread through Qt's thread pool or event
// queue. Those run it there (or drop it) only after taking it out from under
// a lock of their own, which ThreadSanitizer cannot see in a Qt built without
// it; so the hand-over is told to it here, on the handover's own address: sent
// once it is built where the other thread will find it, received before it
// is run or dropped. In any other build it is the function alone.
template <class Function> class Handover {
public:
    explicit Handover(Function function) : m_function(std::move(function)) { sent(); }
    Handover(Handover&& other) : m_function(std::move(other.m_function)) { sent(); }
    Handover(const Handover& other) : m_function(other.m_function) { sent(); }
    Handover& operator=(const Handover&) = delete;
    Handover& operator=(Handover&&) = delete;
    ~Handover() { received(); }

    decltype(auto) operator()() {
        received();
        return m_function();
    }

private:
    void sent() {
#ifdef TAMBLOR_THREAD_SANITIZER
        __tsan_release(this);
#endif
    }
    void received() {
#ifdef TAMBLOR_THREAD_SANITIZER
        __tsan_acquire(this);
#endif
    }

    Function m_function;
};
