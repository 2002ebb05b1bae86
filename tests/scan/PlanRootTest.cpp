#include "scan/Plan.h"

#include "core/Errors.h"
#include "core/Texts.h"
#include "tests/scan/ScanFixture.h"

#include <unistd.h>

using namespace quillon;
namespace t = quillon::testing;

namespace {

// Returns the reason of the SafetyError that planning `candidate` throws, or
// "planned" when it does not throw.
std::string refusal(const Candidate& candidate) {
    ScanStats stats;
    try {
        plan(candidate, stats);
        return "planned";
    } catch (const SafetyError& error) {
        return error.reason();
    }
}

Candidate location(const std::string& path, ScanMode mode = ScanMode::oldChildren) {
    return Candidate(path, -100, "Development", mode);
}

} // namespace

TEST(PlanRoot, LocationThatIsALinkIsRefused) {
    const std::string dir = t::freshDirectory("root");
    t::makeDirectory(dir + "/real");
    t::makeSymlink(dir + "/real", dir + "/cache");
    for (ScanMode mode : {ScanMode::whole, ScanMode::oldChildren, ScanMode::oldFiles, ScanMode::oldTopFiles})
        EXPECT_EQ(refusal(location(dir + "/cache", mode)), text::rootNotPrivate);
}

TEST(PlanRoot, LinkedParentFailsNamingTheComponent) {
    const std::string dir = t::freshDirectory("root");
    t::makeDirectory(dir + "/real/cache");
    t::makeSymlink(dir + "/real", dir + "/alias");
    EXPECT_EQ(refusal(location(dir + "/alias/cache")),
              text::cannotOpenComponent + std::string("alias: Not a directory"));
}

TEST(PlanRoot, MissingLocationAndMissingParentFailDifferently) {
    const std::string dir = t::freshDirectory("root");
    EXPECT_EQ(refusal(location(dir + "/missing")), text::rootNotPrivate);
    EXPECT_EQ(refusal(location(dir + "/gone/missing")), text::cannotOpenComponent + std::string("gone: No such file or directory"));
}

TEST(PlanRoot, PlainFileAsLocationIsRefused) {
    const std::string dir = t::freshDirectory("root");
    t::writeFile(dir + "/file", "x");
    EXPECT_EQ(refusal(location(dir + "/file")), text::rootNotPrivate);
}

TEST(PlanRoot, ForeignLocationIsRefused) {
    unsigned uid = 0, gid = 0;
    if (!t::unprivilegedAccount(uid, gid) || geteuid() != 0) GTEST_SKIP() << "needs root and a second account";
    const std::string dir = t::freshDirectory("root");
    t::makeDirectory(dir + "/cache");
    ASSERT_EQ(chown((dir + "/cache").c_str(), uid, gid), 0);
    EXPECT_EQ(refusal(location(dir + "/cache")), text::rootNotPrivate);
}

TEST(PlanRoot, MountPointAsLocationIsRefused) {
    const std::string dir = t::freshDirectory("root");
    t::makeDirectory(dir + "/cache");
    const t::ScopedTmpfs other(dir + "/cache");
    if (!other.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    t::writeFile(dir + "/cache/file", "x");
    EXPECT_EQ(refusal(location(dir + "/cache")), text::rootNotPrivate);
}

TEST(PlanRoot, RelativeOrDottedLocationIsAnInvalidPath) {
    EXPECT_EQ(refusal(location("relative/cache")), text::invalidPath);
    const std::string dir = t::freshDirectory("root");
    t::makeDirectory(dir + "/a/cache");
    EXPECT_EQ(refusal(location(dir + "/a/../a/cache")), text::invalidPath);
    EXPECT_EQ(refusal(location(dir + "/a/..")), text::rootNotPrivate);
}

TEST(PlanRoot, AlreadyCancelledPlanThrowsBeforeLookingAtAnything) {
    RunControl control;
    control.cancel();
    ScanStats stats;
    EXPECT_THROW(plan(location("/definitely/missing"), stats, &control), CleanCancelled);
}
