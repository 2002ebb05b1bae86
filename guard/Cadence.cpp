// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "guard/Cadence.h"

namespace quillon {

namespace {

// With the factor F, re-readings take at most 1 / (1 + F) of a run and a
// picture is at most (1 + F) readings old (the figures: docs/ARCHITECTURE.md).
constexpr int rereadFactor = 4;

} // namespace

bool Cadence::due(Clock::time_point now) const { return !read_ || now - end_ >= rereadFactor * duration_; }

void Cadence::read(Clock::time_point start, Clock::time_point end) {
    read_ = true;
    end_ = end;
    duration_ = end - start;
}

} // namespace quillon
