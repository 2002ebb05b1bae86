#include "engine/Clean.h"

#include "catalog/Catalogue.h"
#include "engine/Report.h"
#include "tests/engine/CleanFixture.h"

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
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

// Starts a copy of /bin/sleep named `name`, the way a protected application
// appears in the process table.
pid_t startProgramNamed(const std::string& name) {
    const std::string dir = t::freshDirectory("bin");
    const std::string program = dir + "/" + name;
    t::writeFile(program, t::readFile("/bin/sleep"));
    chmod(program.c_str(), 0755);
    const pid_t pid = fork();
    if (pid == 0) {
        execl(program.c_str(), name.c_str(), "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait until the process table shows the new name.
    for (int i = 0; i < 200; ++i) {
        if (t::readFile("/proc/" + std::to_string(pid) + "/comm") == name.substr(0, 15) + "\n") break;
        usleep(10000);
    }
    return pid;
}

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

TEST(CleanGuards, RunningApplicationKeepsItsLocationAndIsNamedInTheSummary) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::waitPastTheSecond();
    Child chrome(startProgramNamed("Google Chrome"));
    const Report report = clean(false, home.places);
    EXPECT_EQ(report.notes, std::vector<std::string>{"Kept: " + cache +
                                                     " \u2014 skip(\"Relevant app or build tool is running\")"});
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
    t::waitPastTheSecond();
    Child chromium(startProgramNamed("chromium"));
    const Report report = clean(false, home.places);
    std::vector<std::string> expected;
    for (const Candidate& location : candidates(home.places.home, home.places.temp, home.places.cache,
                                                home.places.sharedTemp, home.places.config))
        if (t::exists(location.path))
            expected.push_back("Kept: " + location.path + " \u2014 skip(\"Relevant app or build tool is running\")");
    EXPECT_EQ(expected.size(), 6u); // the three profile caches, the browser-wide GPU cache, Cache and Code Cache
    EXPECT_EQ(report.notes, expected);
    EXPECT_EQ(report.busyGroups, std::set<std::string>{"Chromium"});
    for (const std::string& file : files) EXPECT_TRUE(t::exists(file)) << file;
}

TEST(CleanGuards, PreviewHonoursBusyToolsToo) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::waitPastTheSecond();
    Child chrome(startProgramNamed("Google Chrome Helper"));
    const Report report = clean(true, home.places);
    EXPECT_EQ(report.eligible, 0);
    EXPECT_EQ(report.busyGroups, std::set<std::string>{"Chrome"});
}

TEST(CleanGuards, FileHeldOpenDeepInsideKeepsTheWholeDirectory) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::makeDirectory(cache + "/deep/er");
    t::writeFile(cache + "/deep/er/held", "x");
    t::waitPastTheSecond();
    const int held = open((cache + "/deep/er/held").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    const Report preview = clean(true, home.places);
    const Report real = clean(false, home.places);
    close(held);
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
    t::waitPastTheSecond();
    const int held = open((home.chrome + "/Default/CacheX").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    const Report report = clean(false, home.places);
    close(held);
    EXPECT_EQ(report.cleaned, 1) << t::joined(report.notes);
    EXPECT_FALSE(t::exists(cache));
}

TEST(CleanGuards, SecondRunIsRefusedWhileAnotherProcessHoldsTheLock) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::waitPastTheSecond();
    const pid_t holder = holdLock(home.places.temp);
    ASSERT_GT(holder, 0);
    Child guard(holder);
    const Report report = clean(false, home.places);
    EXPECT_EQ(report.notes, std::vector<std::string>{"Another cleanup is running; nothing removed"});
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
    EXPECT_EQ(report.notes, std::vector<std::string>{"Cannot obtain cleanup lock; nothing removed"});
    EXPECT_EQ(logged, report.notes);
    EXPECT_EQ(report.skipped, 1);
    EXPECT_FALSE(t::exists(elsewhere));
}

TEST(CleanGuards, MissingTemporaryFolderRefusesTheRunInsteadOfLockingInTheRoot) {
    t::FixtureHome home;
    home.places.temp = "";
    const Report report = clean(true, home.places);
    EXPECT_EQ(report.notes, std::vector<std::string>{"Cannot obtain cleanup lock; nothing removed"});
    EXPECT_FALSE(t::exists(std::string("/") + lockFileName));
}

TEST(CleanGuards, LockIsReleasedWhenTheRunEnds) {
    t::FixtureHome home;
    clean(true, home.places);
    const pid_t holder = holdLock(home.places.temp);
    EXPECT_GT(holder, 0);
    if (holder > 0) Child done(holder);
}
