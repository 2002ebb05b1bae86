// The one Qt application of the window tests, made before the first test and
// dropped after the last: they draw on the offscreen platform only.

#include "app/AppWindow.h"
#include "app/WindowViews.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

class QtApplication : public ::testing::Environment {
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QApplication>(argc_, argv_);
        // Fonts load on first use and keep their files open: load the window's
        // now, so that no test suite counts them as descriptors it leaked.
        quillon::AppWindow warmUp;
        quillon::buildViews(warmUp);
        warmUp.grab();
    }
    void TearDown() override { application_.reset(); }

    int argc_ = 1;
    char name_[10] = "app_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtApplication);

} // namespace
