// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "guard/Cadence.h"

namespace quillon {

namespace {

// With the factor F, the readings after a location's first take at most
// 1 / (1 + F) of the run however busy the desktop, and every item is checked
// against a reading at most (1 + F) d old: F = 4 keeps them within a fifth.
// With 300 processes of the user holding 100 files and 30 mappings each, an
// open-file reading takes about 80 ms, so a 5 000-item location is read
// once instead of 157 times and the picture is never more than 0.4 s old; a
// running-set reading takes a few milliseconds, so it is at most about 15 ms
// old. On an idle desktop a reading takes under a millisecond.
constexpr int rereadFactor = 4;

} // namespace

bool Cadence::due(Clock::time_point now) const { return !read_ || now - end_ >= rereadFactor * duration_; }

void Cadence::read(Clock::time_point start, Clock::time_point end) {
    read_ = true;
    end_ = end;
    duration_ = end - start;
}

} // namespace quillon
