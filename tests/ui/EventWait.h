#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>

namespace rv::test {

// Runs the window thread's event loop until pred holds or the time is up, sleeping between
// checks (no busy loop, so CPU measurements around it stay meaningful).
inline bool WaitUntil(const std::function<bool()>& pred,
                      std::chrono::milliseconds limit = std::chrono::seconds(5))
{
    if (pred())
        return true;
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    bool met = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (pred()) {
            met = true;
            loop.quit();
        } else if (clock.elapsed() >= limit.count()) {
            loop.quit();
        }
    });
    poll.start(5);
    loop.exec();
    return met || pred();
}

// Runs the event loop for the given time.
inline void RunFor(std::chrono::milliseconds time)
{
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace rv::test
