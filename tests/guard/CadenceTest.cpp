// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// The guard reads a query again once four times the last reading's own duration has passed since it ended.

#include "guard/Cadence.h"

#include <gtest/gtest.h>

TEST(Cadence, ReadsAgainOnceFourTimesTheLastDurationHasPassed) {
    using ms = std::chrono::milliseconds;
    using at = quillon::Cadence::Clock::time_point;
    // A reading that took `duration`, asked again `since` after it ended: due?
    const struct { ms duration, since; bool due; } rows[] = {
        {ms(10), ms(39), false}, {ms(10), ms(40), true}, {ms(0), ms(0), true}, {ms(250), ms(999), false}};
    for (const auto& row : rows) {
        quillon::Cadence cadence;
        cadence.read(at(), at(row.duration));
        EXPECT_EQ(cadence.due(at(row.duration + row.since)), row.due) << "row " << &row - rows;
    }
}
