#pragma once

#include <QObject>

#include <functional>

// Work done once the window has handled what was queued before it asked:
// the keys already pressed, then the painting already due. Asking again
// while it waits still does it once, so a burst of requests costs one run.
class AfterQueued : public QObject {
public:
    explicit AfterQueued(std::function<void()> work) : m_work(std::move(work)) {}
    void request();
    // Does the waiting work now, as a command that needs it done begins.
    void runIfWaiting();

protected:
    void customEvent(QEvent* event) override;

private:
    std::function<void()> m_work;
    bool m_waiting = false;
};
