// Acting on a window once it is there: the condition is checked from the
// event loop that runs (a modal loop's too), and the action taken the first
// time it holds, so that a test waits for what it needs, however slow the
// machine, and never for a fixed time.
#pragma once

#include <QTimer>

#include <functional>

inline void WhenReady(std::function<bool()> ready, std::function<void()> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, ready, act] {
    if (!ready()) return;
    timer->stop();
    timer->deleteLater();
    act();
  });
  timer->start();
}
