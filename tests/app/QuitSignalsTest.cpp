#include "app/QuitSignals.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace quillon {
namespace {

// Each quit signal becomes one quit request on the event loop, without making
// other threads' calls fail with EINTR, and the old handler comes back after.
TEST(QuitSignals, TurnEachSignalIntoAQuitRequest) {
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction before {}, during {}, after {};
        ASSERT_EQ(sigaction(signal, nullptr, &before), 0);
        {
            QuitSignals quitSignals;
            QSignalSpy requests(&quitSignals, &QuitSignals::quitRequested);
            ASSERT_EQ(sigaction(signal, nullptr, &during), 0);
            EXPECT_NE(during.sa_flags & SA_RESTART, 0);
            ASSERT_EQ(std::raise(signal), 0);
            EXPECT_TRUE(QTest::qWaitFor([&] { return requests.count() == 1; }, 30000)) << signal;
        }
        ASSERT_EQ(sigaction(signal, nullptr, &after), 0);
        EXPECT_EQ(after.sa_handler, before.sa_handler);
    }
}

} // namespace
} // namespace quillon
