#include "tests/harness/TrialTree.h"

#include "tests/harness/Rules.h"

#include "catalog/Catalogue.h"
#include "core/StartupValues.h"
#include "tests/support/Fixture.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quillon::harness {

namespace {

// Entry names of cache trees, some of them awkward on purpose: composed and
// decomposed accents, spaces, a line feed, a backslash, a quote, a leading
// dash or dot, and characters outside the basic plane.
const std::vector<std::string> cacheNames = {
    "data", "index", "f_00000a", "js", "wasm", "Cache_Data", "caf\xC3\xA9", "cafe\xCC\x81", "with space",
    "new\nline", "back\\slash", "quote\"d", "-dash", ".hidden", "UPPER", "\xC3\xBCn\xC3\xAF", "emoji \xF0\x9F\x98\x80",
};
const std::vector<std::string> logStems = {"app", "server", "crash", "sync agent", "caf\xC3\xA9"};
const std::vector<std::string> logSuffixes = {".log", ".log.1", ".LOG", ".log.3.gz", ".Log"};
const std::vector<std::string> otherSuffixes = {".txt", ".log.bak", ".logx", "", ".gz"};

[[noreturn]] void failed(const std::string& what) {
    throw std::runtime_error("building a trial: " + what + ": " + std::strerror(errno));
}

class Builder {
public:
    Builder(const std::string& root, std::uint64_t seed) : rng_(seed) {
        trial_.seed = seed;
        trial_.root = root;
        trial_.places = CleanPlaces{root + "/home", root + "/temp", root + "/cache", root + "/shared", 0};
        trial_.moved = root + "/moved";
        trial_.decoy = root + "/decoy";
    }

    Trial build() {
        const CleanPlaces& p = trial_.places;
        const std::string& moved = trial_.moved;
        for (const std::string* dir : {&p.home, &p.temp, &p.cache, &p.sharedTemp, &moved}) directory(*dir);
        file(p.temp + "/" + lockFileName, 0);
        victims();
        trial_.ageClass = static_cast<AgeClass>(below(3));
        switch (trial_.ageClass) {
        case AgeClass::browser: browserClass(); break;
        case AgeClass::week: weekClass(); break;
        case AgeClass::month: monthClass(); break;
        }
        const std::vector<std::string> filled = chosen_;
        for (const std::string& location : filled)
            if (chance(0.3)) sprinkle(pick(locationDirs_[location]));
        mirror(p.home);
        mirror(p.cache);
        spellHome();
        trial_.builtAt = wallNow();
        trial_.initial = scanTree(trial_.root);
        findLocations();
        trial_.plannable = plannableItems(trial_);
        return std::move(trial_);
    }

private:
    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    template <typename T> const T& pick(const std::vector<T>& items) { return items[below(items.size())]; }
    std::string unique(const std::string& stem) { return stem + "-" + std::to_string(++counter_); }

    void directory(const std::string& path) {
        if (::mkdir(path.c_str(), 0700) != 0) failed("mkdir " + path);
    }
    // Makes `path` and every missing folder above it, each one remembered
    // as part of the location it lies in.
    void directories(const std::string& path) {
        for (std::size_t slash = trial_.root.size() + 1;; slash = path.find('/', slash + 1)) {
            const std::string prefix = slash == std::string::npos ? path : path.substr(0, slash);
            if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) failed("mkdir " + prefix);
            if (slash == std::string::npos) break;
        }
    }
    void file(const std::string& path, std::size_t size) {
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>('a' + below(26));
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) failed("create " + path);
        const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        ::close(fd);
        if (!ok) failed("write " + path);
    }
    std::size_t randomSize() {
        const std::size_t kind = below(20);
        if (kind < 3) return 0;
        if (kind < 12) return static_cast<std::size_t>(between(1, 600));
        if (kind < 18) return static_cast<std::size_t>(between(3000, 9000));
        return static_cast<std::size_t>(between(12000, 40000));
    }

    void victims() {
        const std::string documents = trial_.places.home + "/Documents";
        directories(documents + "/notes");
        file(documents + "/letter.txt", 300);
        file(documents + "/notes/a.txt", 5000);
        file(documents + "/notes/b.log", 100);
        directories(documents + "/Saved Profile/Cache/sub");
        for (const char* name : {"/f0", "/f1", "/sub/f2"}) file(documents + "/Saved Profile/Cache" + name, 700);
        directories(trial_.places.cache + "/victim-data");
        file(trial_.places.cache + "/victim-data/state.db", 9000);
        file(trial_.places.sharedTemp + "/shared-note.txt", 50);
    }

    void location(const std::string& path) {
        chosen_.push_back(path);
        current_ = path;
        directories(path);
        locationDirs_[path].push_back(path);
    }
    void subdirectory(const std::string& path) {
        directory(path);
        // A folder made directly in the logs folder is a location of its own.
        if (parentOf(path) == trial_.places.home + "/Library/Logs") chosen_.push_back(path);
        locationDirs_[current_].push_back(path);
    }

    // A cache folder's contents: a few files and up to two levels of folders.
    void cacheTree(const std::string& dir, int depth) {
        const int files = between(depth == 0 ? 1 : 0, 5);
        for (int i = 0; i < files; ++i) file(dir + "/" + unique(pick(cacheNames)), randomSize());
        const int folders = depth < 2 ? between(0, 2) : 0;
        for (int i = 0; i < folders; ++i) {
            const std::string sub = dir + "/" + unique(pick(cacheNames));
            subdirectory(sub);
            cacheTree(sub, depth + 1);
        }
    }
    std::string logName() {
        if (chance(0.7)) return unique(pick(logStems)) + pick(logSuffixes);
        return unique(pick(logStems)) + pick(otherSuffixes);
    }
    void logTree(const std::string& dir, int depth) {
        const int files = between(1, 5);
        for (int i = 0; i < files; ++i) file(dir + "/" + logName(), randomSize());
        const int folders = depth < 2 ? between(0, 2) : 0;
        for (int i = 0; i < folders; ++i) {
            const std::string sub = dir + "/" + unique("logs");
            subdirectory(sub);
            logTree(sub, depth + 1);
        }
    }

    void chooseLocations(std::vector<std::string> options, int fewest, int most,
                         const std::function<void(const std::string&)>& fill) {
        std::shuffle(options.begin(), options.end(), rng_);
        const int count = between(fewest, most);
        for (int i = 0; i < count; ++i) fill(options[static_cast<std::size_t>(i)]);
    }

    void browserClass() {
        const std::string& home = trial_.places.home;
        const std::string chrome = home + "/Library/Application Support/Google/Chrome";
        directories(chrome + "/Default/Local Storage/leveldb");
        directories(chrome + "/Default/IndexedDB/https_example.org_0.indexeddb.leveldb");
        file(chrome + "/Local State", 400);
        file(chrome + "/Default/Preferences", 2000);
        file(chrome + "/Default/Cookies", 12000);
        for (const char* name : {"/000003.log", "/CURRENT", "/LOCK"}) file(chrome + "/Default/Local Storage/leveldb" + name, 200);
        for (const char* name : {"/000005.ldb", "/MANIFEST-000001"})
            file(chrome + "/Default/IndexedDB/https_example.org_0.indexeddb.leveldb" + name, 3000);
        chooseLocations({chrome + "/Default/Cache", chrome + "/Default/Code Cache", chrome + "/Default/GPUCache",
                         chrome + "/Profile 1/Cache", home + "/Library/Caches/org.videolan.vlc",
                         home + "/Library/Caches/com.spotify.client/Cache"},
                        1, 3, [&](const std::string& path) {
                            location(path);
                            cacheTree(path, 0);
                        });
        if (::access((chrome + "/Profile 1").c_str(), F_OK) == 0) {
            directories(chrome + "/Profile 1/Local Storage");
            file(chrome + "/Profile 1/Local Storage/CURRENT", 100);
        }
    }

    void weekClass() {
        const std::string& cache = trial_.places.cache;
        const std::string helper = cache + "/com.google.Chrome.helper";
        directories(helper + "/Settings");
        file(helper + "/Settings/prefs.plist", 500);
        directories(trial_.places.home + "/Library/Caches/Other App");
        file(trial_.places.home + "/Library/Caches/Other App/state.db", 4000);
        chooseLocations({trial_.places.home + "/Library/Caches/com.apple.Safari", helper + "/com.apple.metal",
                         helper + "/com.apple.metalfe", cache + "/org.blenderfoundation.blender/com.apple.metal"},
                        1, 3, [&](const std::string& path) {
                            location(path);
                            if (path.find("Safari") != std::string::npos) return cacheTree(path, 0);
                            const int children = between(1, 5);
                            for (int i = 0; i < children; ++i) {
                                const std::string child = path + "/" + unique(pick(cacheNames));
                                if (chance(0.4)) {
                                    file(child, randomSize());
                                } else {
                                    subdirectory(child);
                                    cacheTree(child, 1);
                                }
                            }
                        });
    }

    void monthClass() {
        const std::string& home = trial_.places.home;
        const std::string logs = home + "/Library/Logs";
        location(logs);
        const int top = between(1, 3);
        for (int i = 0; i < top; ++i) file(logs + "/" + logName(), randomSize());
        directories(logs + "/Quillon");
        file(logs + "/Quillon/LastRun.log", 800);
        chooseLocations({logs + "/SomeApp", logs + "/Other App", home + "/.npm/_logs",
                         home + "/Library/Application Support/Code/logs"},
                        0, 2, [&](const std::string& path) {
                            location(path);
                            logTree(path, 0);
                        });
    }

    // One item the rules must keep, somewhere in a location: too new, linked,
    // someone else's, a link, a pipe, or a name that is not UTF-8.
    void sprinkle(const std::string& dir) {
        unsigned nobodyUid = 0, nobodyGid = 0;
        const bool canChown = ::geteuid() == 0 && testing::unprivilegedAccount(nobodyUid, nobodyGid);
        const double future = wallNow() + 2 * day;
        const std::string path = dir + "/" + unique("kept");
        switch (below(8)) {
        case 0:
            file(path + ".log", 2000);
            testing::setModificationTime(path + ".log", future);
            break;
        case 1:
            file(path + ".log", 2000);
            testing::makeHardLink(path + ".log", trial_.places.home + "/Documents/" + unique("linked"));
            break;
        case 2:
            file(path + ".log", 2000);
            if (canChown && ::lchown((path + ".log").c_str(), nobodyUid, nobodyGid) != 0) failed("lchown");
            if (!canChown) testing::setModificationTime(path + ".log", future);
            break;
        case 3: testing::makeSymlink(trial_.places.home + "/Documents/letter.txt", path + ".log"); break;
        case 4:
            if (::mkfifo((path + ".log").c_str(), 0600) != 0) failed("mkfifo");
            break;
        case 5: file(dir + "/" + unique("bad\xFF") + ".log", 3000); break;
        case 6:
            subdirectory(path);
            file(path + "/inner.log", 1000);
            testing::setModificationTime(path, future);
            break;
        default:
            subdirectory(path);
            file(path + "/inner.log", 1000);
            if (canChown && ::lchown(path.c_str(), nobodyUid, nobodyGid) != 0) failed("lchown");
            if (!canChown) testing::setModificationTime(path, future);
            break;
        }
    }

    // Copies the folder structure of `base` into the decoy, every file with
    // new contents: what a followed link would lead a careless cleaner to.
    void mirror(const std::string& base) {
        const std::string prefix = trial_.root + "/";
        for (const auto& [path, entry] : scanTree(base)) {
            const std::string copy = trial_.decoy + "/" + path.substr(prefix.size());
            if (entry.identity.directory()) directories(copy);
            else if (entry.identity.regular()) file(copy, static_cast<std::size_t>(between(100, 5000)));
        }
    }

    // In some trials, another spelling of the same home folder.
    void spellHome() {
        if (!chance(0.3)) return;
        const std::string& home = trial_.places.home;
        std::vector<std::size_t> slashes;
        for (std::size_t at = home.find('/', 1); at != std::string::npos; at = home.find('/', at + 1))
            slashes.push_back(at);
        const std::size_t slash = pick(slashes);
        switch (below(4)) {
        case 0: trial_.homeSpelling = home.substr(0, slash) + "/" + home.substr(slash); break;
        case 1: trial_.homeSpelling = home.substr(0, slash) + "/." + home.substr(slash); break;
        case 2: trial_.homeSpelling = home + "/"; break;
        default:
            trial_.homeSpelling = trial_.root + "/home-link";
            testing::makeSymlink(home, trial_.homeSpelling);
            break;
        }
    }

    void findLocations() {
        const CleanPlaces& p = trial_.places;
        for (Candidate& candidate : candidates(p.home, p.temp, p.cache, p.sharedTemp)) {
            const auto found = trial_.initial.find(candidate.path);
            if (found == trial_.initial.end()) continue;
            const bool folder = found->second.identity.directory();
            const bool intended = std::find(chosen_.begin(), chosen_.end(), candidate.path) != chosen_.end();
            // Every entry of the logs folder is a location of its own; a file there is refused as one.
            if (folder ? !intended : parentOf(candidate.path) != p.home + "/Library/Logs")
                throw std::logic_error("the catalogue finds an unplanned location: " + candidate.path);
            trial_.locations.push_back(std::move(candidate));
        }
        for (const std::string& path : chosen_)
            if (std::none_of(trial_.locations.begin(), trial_.locations.end(),
                             [&](const Candidate& c) { return c.path == path; }))
                throw std::logic_error("the catalogue misses the location " + path);
        for (const Candidate& c : trial_.locations)
            if (std::abs(c.age - trial_.locations.front().age) > 0)
                throw std::logic_error("locations of different ages in one trial: " + c.path);
    }

    std::mt19937_64 rng_;
    Trial trial_;
    int counter_ = 0;
    std::vector<std::string> chosen_;
    std::string current_;
    std::map<std::string, std::vector<std::string>> locationDirs_;
};

} // namespace

bool Trial::insideLocation(const std::string& path) const {
    return std::any_of(locations.begin(), locations.end(), [&](const Candidate& location) {
        const auto found = initial.find(location.path);
        return found != initial.end() && found->second.identity.directory() && within(path, location.path);
    });
}

const Candidate* Trial::governing(const std::string& path) const {
    const Candidate* best = nullptr;
    for (const Candidate& location : locations) {
        const auto found = initial.find(location.path);
        if (found == initial.end() || !found->second.identity.directory() || !within(path, location.path)) continue;
        if (best == nullptr || location.path.size() > best->path.size()) best = &location;
    }
    return best;
}

Trial buildTrial(const std::string& root, std::uint64_t seed) { return Builder(root, seed).build(); }

double wallNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void waitUntilSettled(const Trial& trial) {
    const double ready = trial.builtAt + settleSeconds;
    for (double now = wallNow(); now < ready; now = wallNow())
        std::this_thread::sleep_for(std::chrono::duration<double>(ready - now));
}

double clockShiftFor(const Trial& trial) {
    const double age = trial.locations.empty() ? 0 : trial.locations.front().age;
    return age - ageMargin;
}

} // namespace quillon::harness
