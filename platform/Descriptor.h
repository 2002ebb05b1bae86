// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <unistd.h>
#include <utility>

namespace quillon::platform {

// Owns one open file descriptor and closes it exactly once: when it goes out
// of scope, on every return and every throw. Movable, not copyable.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) noexcept : fd_(fd) {}
    ~Descriptor() { reset(); }

    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    // Returns the descriptor number, or -1 when nothing is owned.
    int get() const noexcept { return fd_; }
    // Returns whether a descriptor is owned.
    explicit operator bool() const noexcept { return fd_ >= 0; }
    // Gives up ownership without closing and returns the number.
    int release() noexcept { return std::exchange(fd_, -1); }
    // Closes the owned descriptor, if any.
    void reset() noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

} // namespace quillon::platform
