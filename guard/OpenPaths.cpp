// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "guard/OpenPaths.h"

#include <algorithm>

namespace quillon {

OpenPaths::~OpenPaths() {
    // A reading in flight must end before the query and clock it calls go;
    // what it found or threw no longer matters.
    if (ahead_.valid()) ahead_.wait();
}

OpenPaths::Reading OpenPaths::read(const RunControl* control) const {
    Reading reading;
    reading.start = now_();
    reading.paths = query_(control);
    std::sort(reading.paths.begin(), reading.paths.end());
    reading.end = now_();
    return reading;
}

void OpenPaths::take(Reading reading) {
    paths_ = std::move(reading.paths);
    cadence_.read(reading.start, reading.end);
}

void OpenPaths::prefetch(const RunControl* control) {
    if (ahead_.valid() || !cadence_.due(now_())) return;
    ahead_ = std::async(std::launch::async, [this, control] { return read(control); });
}

void OpenPaths::settle() {
    if (ahead_.valid()) take(ahead_.get()); // get() leaves the future empty, also when it throws
}

void OpenPaths::refresh(const RunControl* control) {
    settle();
    if (cadence_.due(now_())) take(read(control));
}

bool OpenPaths::holds(const std::string& path) const {
    if (std::binary_search(paths_.begin(), paths_.end(), path)) return true;
    const std::string below = path + "/";
    const auto next = std::lower_bound(paths_.begin(), paths_.end(), below);
    return next != paths_.end() && next->compare(0, below.size(), below) == 0;
}

} // namespace quillon
