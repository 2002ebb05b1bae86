// The main of every test program: it builds the private fixture folder
// before any test runs, checks after each test suite that no descriptor was
// left open, and removes the fixture folder at the end.

#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace quillon::testing {
void setUpFixtureRoot();
void tearDownFixtureRoot();
}

namespace {

bool descriptorsLeaked = false;

class DescriptorWatch : public ::testing::EmptyTestEventListener {
    int before_ = 0;
    void OnTestSuiteStart(const ::testing::TestSuite&) override { before_ = quillon::testing::openDescriptorCount(); }
    void OnTestSuiteEnd(const ::testing::TestSuite& suite) override {
        const int after = quillon::testing::openDescriptorCount();
        if (after > before_) {
            std::fprintf(stderr, "[  LEAK    ] %s left %d descriptor(s) open\n", suite.name(), after - before_);
            descriptorsLeaked = true;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    quillon::testing::setUpFixtureRoot();
    quillon::testing::requireFixtureEnvironment();
    ::testing::UnitTest::GetInstance()->listeners().Append(new DescriptorWatch);
    int status = RUN_ALL_TESTS();
    quillon::testing::tearDownFixtureRoot();
    if (descriptorsLeaked && status == 0) status = 1;
    return status;
}
