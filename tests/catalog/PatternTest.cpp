#include "catalog/Catalogue.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace quillon;

TEST(LogPattern, IsTheExactExpression) {
    EXPECT_STREQ(logPattern, "(?i)\\.log(?:\\.[0-9]+)?(?:\\.gz)?$");
    EXPECT_EQ(std::strlen(logPattern), 32u);
}

TEST(LogPattern, MatchesLogNamesInAnyCaseWithRotationAndCompression) {
    const platform::Regex pattern(logPattern);
    for (const char* name : {"app.log", "App.LOG", "app.log.3", "app.log.3.gz", "x.Log.gz", ".log", "a.log.12"})
        EXPECT_TRUE(pattern.search(name)) << name;
    for (const char* name : {"app.logs", "log.txt", "app.log.gz.1", "app.log.x", "applog", "app.log.3.gz.bak"})
        EXPECT_FALSE(pattern.search(name)) << name;
}

TEST(CrashReportPattern, IsTheExactExpression) {
    EXPECT_STREQ(crashReportPattern, "(?i)\\.(?:ips|crash|hang|spin|panic)(?:\\.gz)?$");
    EXPECT_EQ(std::strlen(crashReportPattern), 45u);
}

TEST(CrashReportPattern, MatchesCrashReportNamesInAnyCaseOptionallyCompressed) {
    const platform::Regex pattern(crashReportPattern);
    for (const char* name : {"x.ips", "x.crash.gz", "x.PANIC", "App-2024.Hang", "a.spin", "b.IPS.GZ"})
        EXPECT_TRUE(pattern.search(name)) << name;
    for (const char* name : {"x.ips.txt", "x.crashes", "xips", "x.log", "x.ips.gz.1"})
        EXPECT_FALSE(pattern.search(name)) << name;
}
