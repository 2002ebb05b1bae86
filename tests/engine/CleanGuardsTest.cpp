#include "engine/Clean.h"

#include "catalog/Catalogue.h"
#include "core/Texts.h"
#include "engine/Report.h"
#include "platform/Descriptor.h"
#include "tests/engine/CleanFixture.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace quillon;
namespace t = quillon::testing;

namespace {

// A child process that runs until the test ends.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {}
    ~Child() {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

private:
    pid_t pid_;
};

// A child process that holds the run lock of `temp` until it is killed.
pid_t holdLock(const std::string& temp) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        const int fd = open((temp + "/" + lockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        struct flock region {};
        region.l_type = F_WRLCK;
        region.l_whence = SEEK_SET;
        if (fd < 0 || fcntl(fd, F_SETLK, &region) != 0) _exit(1);
        if (write(ready[1], "x", 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char byte = 0;
    const bool locked = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    return locked ? pid : -1;
}

} // namespace

// Makes the run see `names` running.
void running(t::FixtureHome& home, const std::set<std::string>& names) {
    home.places.guard.running = [names](const RunControl*) { return names; };
}

// Makes the run see `paths` held open.
void holding(t::FixtureHome& home, const std::vector<std::string>& paths) {
    home.places.guard.openFiles = [paths](const RunControl*) { return paths; };
}

TEST(CleanGuards, RunningApplicationKeepsItsLocationAndIsNamedInTheSummary) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::movePastTheSecond(home);
    running(home, {"google chrome"});
    const Report report = clean(false, home.places);
    EXPECT_EQ(report.notes, std::vector<std::string>{t::keptNote(cache, text::toolRunning)});
    EXPECT_EQ(report.busyGroups, std::set<std::string>{"Chrome"});
    EXPECT_EQ(report.skipped, 1);
    EXPECT_TRUE(t::exists(cache + "/f0"));
    const std::string text = summary(report, false);
    EXPECT_EQ(text.substr(text.rfind('\n')), "\nRunning apps skipped: Chrome.");
}

TEST(CleanGuards, RunningChromiumKeepsEveryChromiumLocationAndItsProfileData) {
    t::FixtureHome home;
    // Folder names as Chromium 156 lays them out in the XDG folders.
    const std::string data = home.places.config + "/chromium";
    const std::string cache = home.places.cache + "/chromium";
    std::vector<std::string> files;
    for (const std::string& folder :
         {data + "/Default/GPUCache", data + "/Default/DawnGraphiteCache", data + "/Default/DawnWebGPUCache",
          data + "/GPUPersistentCache/GPUCache", data + "/Default/Local Storage/leveldb",
          data + "/Default/Service Worker/CacheStorage", data + "/Default/IndexedDB/http_127.0.0.1_8714.indexeddb.leveldb",
          cache + "/Default/Cache/Cache_Data", cache + "/Default/Code Cache/js"}) {
        t::makeDirectory(folder);
        files.push_back(folder + "/000003.log");
        t::writeFile(files.back(), std::string(100, 'x'));
    }
    t::movePastTheSecond(home);
    running(home, {"chromium"});
    const Report report = clean(false, home.places);
    std::vector<std::string> expected;
    for (const Candidate& location : candidates(home.places.home, home.places.temp, home.places.cache,
                                                home.places.sharedTemp, home.places.config))
        if (t::exists(location.path))
            expected.push_back(t::keptNote(location.path, text::toolRunning));
    EXPECT_EQ(expected.size(), 6u); // the three profile caches, the browser-wide GPU cache, Cache and Code Cache
    EXPECT_EQ(report.notes, expected);
    EXPECT_EQ(report.busyGroups, std::set<std::string>{"Chromium"});
    for (const std::string& file : files) EXPECT_TRUE(t::exists(file)) << file;
}

TEST(CleanGuards, PreviewHonoursBusyToolsToo) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::movePastTheSecond(home);
    running(home, {"google chrome helper"});
    const Report report = clean(true, home.places);
    EXPECT_EQ(report.eligible, 0);
    EXPECT_EQ(report.busyGroups, std::set<std::string>{"Chrome"});
}

TEST(CleanGuards, FileHeldOpenDeepInsideKeepsTheWholeDirectory) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::makeDirectory(cache + "/deep/er");
    t::writeFile(cache + "/deep/er/held", "x");
    t::movePastTheSecond(home);
    holding(home, {cache + "/deep/er/held"});
    const Report preview = clean(true, home.places);
    const Report real = clean(false, home.places);
    for (const Report* report : {&preview, &real}) {
        ASSERT_EQ(report->notes.size(), 1u);
        EXPECT_NE(report->notes[0].find(" \u2014 4 files inspected, 0 eligible entries (Zero KB), 1 recent or "
                                        "protected entries kept"),
                  std::string::npos)
            << report->notes[0];
        EXPECT_EQ(report->skipped, 1);
    }
    EXPECT_TRUE(t::exists(cache + "/f0"));
}

TEST(CleanGuards, OpenSiblingThatOnlySharesTheNamePrefixDoesNotKeepTheDirectory) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::writeFile(home.chrome + "/Default/CacheX", "x");
    t::movePastTheSecond(home);
    holding(home, {home.chrome + "/Default/CacheX"});
    const Report report = clean(false, home.places);
    EXPECT_EQ(report.cleaned, 1) << t::joined(report.notes);
    EXPECT_FALSE(t::exists(cache));
}

TEST(CleanGuards, OddlyNamedFilesHeldOpenAreFoundAndKeptWhileTheRestIsCleaned) {
    t::FixtureHome home;
    home.places.clockShift = 8 * 86400.0; // every file made here is older than the week threshold
    const std::string location = home.places.home + "/.npm/_cacache/content-v2";
    t::makeDirectory(location + "/sub");
    const std::vector<std::string> held = {location + "/x^Ay", location + "/sub/new\nline"};
    for (const std::string& path : held) t::writeFile(path, "held");
    for (const char* plain : {"/plain", "/sub/plain"}) t::writeFile(location + plain, "old");
    std::vector<platform::Descriptor> descriptors;
    for (const std::string& path : held) descriptors.emplace_back(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    // The real reading of the process table, narrowed to this test's folder.
    home.places.guard.openFiles = [&](const RunControl* control) {
        std::vector<std::string> mine;
        for (const std::string& path : openPaths(control))
            if (path.rfind(home.places.home + "/", 0) == 0) mine.push_back(path);
        return mine;
    };
    const Report report = clean(false, home.places);
    EXPECT_EQ(report.cleaned, 2) << t::joined(report.notes);
    for (const std::string& path : held) EXPECT_TRUE(t::exists(path)) << path;
    EXPECT_FALSE(t::exists(location + "/plain"));
    EXPECT_FALSE(t::exists(location + "/sub/plain"));
}

TEST(CleanGuards, OpenFileIsKeptUnderABaseSpelledAnotherWay) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::movePastTheSecond(home);
    // The kernel names the open file by its one real path.
    holding(home, {cache + "/f1"});
    const std::string real = home.places.home;
    home.places.home = real.substr(0, real.rfind('/')) + "//./" + real.substr(real.rfind('/') + 1) + "/";
    const Report report = clean(false, home.places);
    EXPECT_EQ(report.cleaned, 0) << t::joined(report.notes);
    EXPECT_TRUE(t::exists(cache + "/f1"));
    ASSERT_EQ(report.notes.size(), 1u);
    EXPECT_EQ(report.notes[0].rfind("Checked: " + cache + " \u2014 ", 0), 0u) << report.notes[0];
}

TEST(CleanGuards, RunningSetIsAskedEvery32ItemsAndOpenFilesOnlyWhenTheLastReadingIsOldEnough) {
    for (const int queryMilliseconds : {0, 300}) {
        t::FixtureHome home;
        home.places.clockShift = 8 * 86400.0;
        const std::string location = home.places.home + "/.npm/_cacache/content-v2";
        t::makeDirectory(location);
        for (int i = 0; i < 70; ++i) t::writeFile(location + "/f" + std::to_string(100 + i), "old");
        int runningCalls = 0, openCalls = 0;
        home.places.guard.running = [&](const RunControl*) { return ++runningCalls, std::set<std::string>{}; };
        home.places.guard.openFiles = [&](const RunControl*) {
            std::this_thread::sleep_for(std::chrono::milliseconds(queryMilliseconds));
            return ++openCalls, std::vector<std::string>{};
        };
        const Report report = clean(false, home.places);
        EXPECT_EQ(report.cleaned, 70) << t::joined(report.notes);
        // Before the location, then before items 0, 32 and 64.
        EXPECT_EQ(runningCalls, 4) << queryMilliseconds;
        // A reading that takes no time is taken at every one of those items;
        // one of 0.3 s is not taken again within four times as long, and
        // removing 70 small files takes far less.
        EXPECT_EQ(openCalls, queryMilliseconds == 0 ? 3 : 1) << queryMilliseconds;
    }
}

TEST(CleanGuards, SecondRunIsRefusedWhileAnotherProcessHoldsTheLock) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::movePastTheSecond(home);
    const pid_t holder = holdLock(home.places.temp);
    ASSERT_GT(holder, 0);
    Child guard(holder);
    const Report report = clean(false, home.places);
    EXPECT_EQ(report.notes, std::vector<std::string>{text::anotherCleanupRunning});
    EXPECT_EQ(report.skipped, 1);
    EXPECT_EQ(report.checked, 0);
    EXPECT_TRUE(t::exists(cache + "/f0"));
}

TEST(CleanGuards, LockFileThatIsALinkRefusesTheRun) {
    t::FixtureHome home;
    const std::string elsewhere = t::freshDirectory("elsewhere") + "/target";
    t::makeSymlink(elsewhere, home.places.temp + "/" + lockFileName);
    std::vector<std::string> logged;
    const Report report = clean(false, home.places, nullptr, {}, [&](const std::string& l) { logged.push_back(l); });
    EXPECT_EQ(report.notes, std::vector<std::string>{text::noCleanupLock});
    EXPECT_EQ(logged, report.notes);
    EXPECT_EQ(report.skipped, 1);
    EXPECT_FALSE(t::exists(elsewhere));
}

TEST(CleanGuards, MissingTemporaryFolderRefusesTheRunInsteadOfLockingInTheRoot) {
    t::FixtureHome home;
    home.places.temp = "";
    const Report report = clean(true, home.places);
    EXPECT_EQ(report.notes, std::vector<std::string>{text::noCleanupLock});
    EXPECT_FALSE(t::exists(std::string("/") + lockFileName));
}

TEST(CleanGuards, LockIsReleasedWhenTheRunEnds) {
    t::FixtureHome home;
    clean(true, home.places);
    const pid_t holder = holdLock(home.places.temp);
    EXPECT_GT(holder, 0);
    if (holder > 0) Child done(holder);
}
