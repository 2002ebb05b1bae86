// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "platform/Descriptor.h"

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace quillon {

// Turns SIGINT and SIGTERM into quit requests on the thread that owns this
// object: the signal handler only writes a byte to one end of a socket pair,
// and a socket notifier on the other end emits quitRequested() from the
// event loop. At most one instance may exist at a time; its destruction puts
// the previous handlers back and closes both sockets.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers (with SA_RESTART, so that a signal does not make
    // system calls of other threads fail with EINTR).
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

signals:
    // One or more quit signals arrived since the last emission.
    void quitRequested();

private:
    void drain();

    platform::Descriptor writeEnd_; // written by the signal handler
    platform::Descriptor readEnd_;  // watched by the notifier
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previousInterrupt_ {};
    struct sigaction previousTerminate_ {};
};

} // namespace quillon
