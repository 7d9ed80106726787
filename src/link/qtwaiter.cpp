// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/qtwaiter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>

namespace ondo {

namespace {
constexpr std::chrono::milliseconds kFallbackWait{1};
}

QtWaiter::QtWaiter() {
    fallback_.setSingleShot(true);
    fallback_.setInterval(kFallbackWait);
}

QtWaiter::~QtWaiter() = default;

void QtWaiter::watch(int handle) {
    if (!notifier_ || notifier_->socket() != handle) {
        notifier_ = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Read);
        // Level-triggered: once a byte is there, stop watching until the next wait, or the loop
        // would wake again and again while the byte sits unread.
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                         [n = notifier_.get()] { n->setEnabled(false); });
    }
    notifier_->setEnabled(true);
}

void QtWaiter::yield(int byteHandle) {
    if (byteHandle >= 0) {
        watch(byteHandle);
    } else if (byteHandle == kByteWaitWithoutHandle) {
        fallback_.start();
    }
    // Handles what is pending; sleeps only when nothing is, until the next event of any kind.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // A descriptor may be closed before the next wait: never leave it watched in between.
    if (notifier_) notifier_->setEnabled(false);
    fallback_.stop();
}

}  // namespace ondo
