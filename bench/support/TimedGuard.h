// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// The activity guard's real queries, counted and timed on their way
// through a run, for benchmarks of whole cleans.

#include "bench/support/BenchSupport.h"
#include "engine/Clean.h"

namespace quillon::bench {

class TimedGuard {
public:
    int runningQueries = 0;
    int openQueries = 0;
    double runningSeconds = 0;
    double openSeconds = 0;

    // Returns queries that ask the real ones and add to the counts above;
    // this object must outlive the run that uses them.
    GuardQueries queries() {
        GuardQueries real;
        GuardQueries counted;
        counted.running = timed(real.running, runningQueries, runningSeconds);
        counted.openFiles = timed(real.openFiles, openQueries, openSeconds);
        return counted;
    }

    double seconds() const { return runningSeconds + openSeconds; }

private:
    template <class Query> static Query timed(Query query, int& count, double& seconds) {
        return [query, &count, &seconds](const RunControl* control) {
            const auto start = Clock::now();
            auto answer = query(control);
            ++count;
            seconds += secondsSince(start);
            return answer;
        };
    }
};

} // namespace quillon::bench
