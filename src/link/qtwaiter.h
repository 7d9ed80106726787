// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The event-loop wait of the window and of the command line: sleeps in Qt's event loop until a
// timer tick, a user event or (through a socket notifier on the port's descriptor) a byte.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

#include "link/waiter.h"

namespace ondo {

class QtWaiter : public Waiter {
  public:
    QtWaiter();
    ~QtWaiter() override;
    void yield(int byteHandle) override;

  private:
    void watch(int handle);

    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer fallback_;  // wakes the loop after 1 ms where the port has no descriptor
};

}  // namespace ondo
