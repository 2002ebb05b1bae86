// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/Lease.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>

namespace quillon::platform {

namespace {

void ignoreSignal(int) {}

// When another process opens a file we hold a lease on, the kernel sends the
// holder (made the file's owner when the lease is taken) SIGIO, which ends a
// program by default. The opener only waits until the lease is given back,
// which happens right after the unlink, so the signal needs no answer: an
// empty handler is enough. It is installed once, and only where SIGIO still
// has its default action, so that a handler someone else set stays. A
// handler rather than SIG_IGN, because a handler is reset to the default at
// exec and an ignored signal is not: programs started from this one (a log
// viewer) keep the ordinary behaviour. SA_RESTART keeps the signal from
// failing a system call that another thread is in.
void keepLeaseBreaksHarmless() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGIO, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
        struct sigaction quiet {};
        quiet.sa_handler = ignoreSignal;
        quiet.sa_flags = SA_RESTART;
        sigemptyset(&quiet.sa_mask);
        ::sigaction(SIGIO, &quiet, nullptr);
    });
}

} // namespace

FileLease::~FileLease() {
    if (file_) ::fcntl(file_.get(), F_SETLEASE, F_UNLCK);
}

FileLease leaseFile(int parent, const std::string& name, const FileStatus& looked) {
    keepLeaseBreaksHarmless();
    Descriptor file(::openat(parent, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NOATIME | O_CLOEXEC | O_NONBLOCK));
    if (!file) {
        if (errno == EWOULDBLOCK) return FileLease(LeaseAnswer::held);
        return FileLease(errno == EACCES || errno == EPERM ? LeaseAnswer::unknown : LeaseAnswer::changed);
    }
    FileStatus opened;
    if (!statDescriptor(file.get(), opened) || opened.inode != looked.inode || opened.device != looked.device ||
        opened.type() != S_IFREG)
        return FileLease(LeaseAnswer::changed);
    if (::fcntl(file.get(), F_SETLEASE, F_WRLCK) == 0) return FileLease(LeaseAnswer::taken, std::move(file));
    // EINVAL and ENOLCK: no leases here; anything else is no answer either.
    return FileLease(errno == EAGAIN ? LeaseAnswer::held : LeaseAnswer::unknown);
}

} // namespace quillon::platform
