#include "app/QuitSignals.h"

#include "tests/app/AppTestSupport.h"

#include <QSignalSpy>

#include <csignal>
#include <stdexcept>

namespace quillon {
namespace {

namespace t = quillon::testing;

TEST(QuitSignals, TurnsSigtermIntoAQuitRequest) {
    QuitSignals quitSignals;
    QSignalSpy requests(&quitSignals, &QuitSignals::quitRequested);
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_TRUE(t::waitUntil([&] { return requests.count() == 1; }));
}

TEST(QuitSignals, TurnsSigintIntoAQuitRequest) {
    QuitSignals quitSignals;
    QSignalSpy requests(&quitSignals, &QuitSignals::quitRequested);
    ASSERT_EQ(std::raise(SIGINT), 0);
    EXPECT_TRUE(t::waitUntil([&] { return requests.count() == 1; }));
}

TEST(QuitSignals, RestartsInterruptedSystemCalls) {
    QuitSignals quitSignals;
    struct sigaction installed {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &installed), 0);
    EXPECT_NE(installed.sa_flags & SA_RESTART, 0);
}

TEST(QuitSignals, PutsThePreviousHandlerBack) {
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &before), 0);
    { QuitSignals quitSignals; }
    struct sigaction after {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &after), 0);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(QuitSignals, RefusesASecondInstance) {
    QuitSignals quitSignals;
    EXPECT_THROW(QuitSignals second, std::logic_error);
}

} // namespace
} // namespace quillon
