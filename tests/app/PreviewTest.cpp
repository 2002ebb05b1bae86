#include "app/ProgressAnimation.h"

#include "core/Texts.h"
#include "engine/Report.h"
#include "platform/Paths.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/Fixture.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

namespace quillon {
namespace {

namespace t = quillon::testing;

// Every entry below `root` except `skip`: type, mode, size, modification
// time to the nanosecond, and a file's bytes or a link's target.
void describeTree(const std::string& root, const std::string& skip, std::map<std::string, std::string>& out) {
    DIR* dir = opendir(root.c_str());
    ASSERT_NE(dir, nullptr) << root;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir))
        if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") names.push_back(entry->d_name);
    closedir(dir);
    for (const std::string& name : names) {
        const std::string path = root + "/" + name;
        if (path == skip) continue;
        struct stat status {};
        ASSERT_EQ(lstat(path.c_str(), &status), 0) << path;
        std::string description = std::to_string(status.st_mode) + " " + std::to_string(status.st_size);
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict, at -O3)
        // when a literal is prepended to a temporary string.
        if (!S_ISDIR(status.st_mode))
            description.append(" ").append(std::to_string(status.st_mtim.tv_sec)).append(".").append(
                std::to_string(status.st_mtim.tv_nsec));
        if (S_ISREG(status.st_mode)) description.append(" ").append(t::readFile(path));
        if (S_ISLNK(status.st_mode)) {
            char target[4096];
            const ssize_t length = readlink(path.c_str(), target, sizeof target);
            description += " -> " + std::string(target, static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
        }
        out[path] = description;
        if (S_ISDIR(status.st_mode)) describeTree(path, skip, out);
    }
}

std::map<std::string, std::string> snapshot(const std::string& skip) {
    std::map<std::string, std::string> tree;
    describeTree(t::fixtureRoot(), skip, tree);
    return tree;
}

// A home with what a real run would clean: old caches and logs.
void fillHome() {
    const std::string home = t::fixtureRoot() + "/home";
    const double old = t::now() - 120 * 86400.0;
    t::makeDirectory(home + "/Library/Caches/org.videolan.vlc/art");
    t::writeFile(home + "/Library/Caches/org.videolan.vlc/art/cover.jpg", std::string(4096, 'x'));
    t::makeDirectory(home + "/Library/Logs/Example");
    t::writeFile(home + "/Library/Logs/Example/old.log", "old\n");
    t::setModificationTime(home + "/Library/Logs/Example/old.log", old);
    t::makeDirectory(home + "/.cache/pip/http");
    t::writeFile(home + "/.cache/pip/http/wheel.bin", std::string(2048, 'w'));
    t::setModificationTime(home + "/.cache/pip/http/wheel.bin", old);
    t::writeFile(t::fixtureRoot() + "/tmp/node-compile-cache", "not a folder");
}

class PreviewTest : public t::DelegateTest {
protected:
    PreviewTest() {
        t::requireFixtureEnvironment();
        // The preview's own log, in the user's temporary folder.
        settings.logPath.clear();
        logFile = platform::userTempDirectory() + "/Quillon-UI-preview.log";
    }

    AppDelegate& runPreview() {
        AppDelegate& window = launch(true);
        EXPECT_TRUE(t::waitUntil([&] { return window.isFinished(); }));
        return window;
    }
};

TEST_F(PreviewTest, WritesItsLogInTheTemporaryFolder) {
    AppDelegate& window = runPreview();
    EXPECT_EQ(window.logPath(), logFile);
    const std::vector<std::string> lines = logLines();
    ASSERT_GE(lines.size(), 3U);
    EXPECT_EQ(lines[0], text::programName);
    EXPECT_EQ(lines[2], text::uiPreviewOnly);
}

TEST_F(PreviewTest, EndsTheLogWithPreviewFinished) {
    runPreview();
    const std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), previewFinishedLine);
}

TEST_F(PreviewTest, LeavesTheFixtureFolderByteForByteUnchanged) {
    fillHome();
    const auto before = snapshot(logFile);
    runPreview();
    EXPECT_EQ(snapshot(logFile), before);
}

TEST_F(PreviewTest, EndsWithNothingToCleanTheFreeSpaceAndNoLocations) {
    runPreview();
    // The free space is read at the end; it is the fixture volume's.
    const std::string text = statusText();
    const std::string first = text::nothingToClean + std::string("\n");
    const std::string last = " available \u00b7 0 locations";
    ASSERT_EQ(text.rfind(first, 0), 0U) << text;
    ASSERT_GE(text.size(), first.size() + last.size());
    EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

TEST_F(PreviewTest, RunsTheBarUpTo99BeforeItsFinalReport) {
    AppDelegate& window = launch(true);
    double highestTarget = 0;
    ASSERT_TRUE(t::waitUntil([&] {
        if (!window.isFinished()) highestTarget = window.targetProgress();
        return window.isFinished();
    }));
    EXPECT_EQ(highestTarget, 99.0);
}

TEST_F(PreviewTest, ShowsItsStageWhileItRuns) {
    settings.previewInterval = std::chrono::milliseconds(50);
    launch(true);
    ASSERT_TRUE(t::waitUntil([&] { return statusText() == previewStage; }));
}

TEST_F(PreviewTest, CancelledPreviewEndsTheLogWithPreviewCancelled) {
    settings.previewInterval = std::chrono::milliseconds(50);
    AppDelegate& window = launch(true);
    window.cancelOrClose();
    ASSERT_TRUE(t::waitUntil([&] { return window.isFinished(); }));
    const std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), previewCancelledLine);
}

TEST_F(PreviewTest, CancelledPreviewShowsTheCancelledFinalText) {
    settings.previewInterval = std::chrono::milliseconds(50);
    AppDelegate& window = launch(true);
    window.cancelOrClose();
    ASSERT_TRUE(t::waitUntil([&] { return window.isFinished(); }));
    EXPECT_EQ(statusText(), text::cancelledNothingRemoved);
}

TEST_F(PreviewTest, QuitRequestDuringThePreviewEndsTheProgramAfterItsFinalReport) {
    settings.previewInterval = std::chrono::milliseconds(50);
    AppDelegate& window = launch(true);
    window.requestQuit();
    EXPECT_EQ(endings, 0);
    ASSERT_TRUE(t::waitUntil([&] { return endings > 0; }));
    EXPECT_EQ(statusAtEnd, text::cancelledNothingRemoved);
}

TEST_F(PreviewTest, NeverCallsTheCleanRun) {
    bool called = false;
    settings.run = [&](const RunControl&, const ProgressCallback&, const LogCallback&) {
        called = true;
        return Report{};
    };
    runPreview();
    EXPECT_FALSE(called);
}

} // namespace
} // namespace quillon
