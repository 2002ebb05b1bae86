// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "app/QuitSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon {

namespace {

// The handler may touch nothing but async-signal-safe calls and lock-free
// atomics: it finds its socket here.
std::atomic<int> handlerSocket{-1};
static_assert(std::atomic<int>::is_always_lock_free);

std::atomic<bool> instanceExists{false};

extern "C" void onQuitSignal(int) {
    const int savedErrno = errno;
    const int socket = handlerSocket.load();
    if (socket >= 0) {
        const char byte = 1;
        // A full socket already holds an unanswered request; dropping the
        // byte loses nothing.
        [[maybe_unused]] const ssize_t written = ::write(socket, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (instanceExists.exchange(true)) throw std::logic_error("only one QuitSignals may exist at a time");
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) {
        // Without the pair the signals keep their default action, which
        // ends the program: worse than a clean stop, but never unsafe, as
        // every deletion is checked on its own.
        return;
    }
    writeEnd_ = platform::Descriptor(pair[0]);
    readEnd_ = platform::Descriptor(pair[1]);
    notifier_ = new QSocketNotifier(static_cast<qintptr>(readEnd_.get()), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::drain);
    handlerSocket.store(writeEnd_.get());

    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInterrupt_);
    ::sigaction(SIGTERM, &action, &previousTerminate_);
}

QuitSignals::~QuitSignals() {
    if (notifier_ != nullptr) {
        ::sigaction(SIGINT, &previousInterrupt_, nullptr);
        ::sigaction(SIGTERM, &previousTerminate_, nullptr);
        handlerSocket.store(-1);
        delete notifier_; // before its socket closes
    }
    instanceExists.store(false);
}

void QuitSignals::drain() {
    char buffer[64];
    while (::read(readEnd_.get(), buffer, sizeof buffer) > 0) {
    }
    emit quitRequested();
}

} // namespace quillon
