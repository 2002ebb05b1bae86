// Times the two questions the activity guard asks while a clean runs (the
// running programs and the open files) and works out how often a clean of the
// whole catalogue asks them. Usage:
//   guard_bench [--repetitions R] [--locations L] [--max-items N]
// The figures feed the clean-run benchmark: every existing location asks ps
// once before planning, and ps and lsof again before its planned items 0, 32,
// 64, ...; the example catalogue has L locations, location i holding
// i mod (N + 1) planned items.

#include "core/Errors.h"
#include "guard/OpenFiles.h"
#include "guard/RunningTools.h"
#include "platform/Descriptor.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// The private folder that HOME, TMPDIR and XDG_CACHE_HOME point into for the
// whole run, removed at the end. Nothing here writes there, but nothing may
// ever reach the real home either.
class PrivateFolder {
public:
    PrivateFolder() {
        char pattern[] = "/tmp/quillon-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        root_ = pattern;
        for (const char* sub : {"/home", "/home/.cache", "/tmp"})
            if (mkdir((root_ + sub).c_str(), 0700) != 0) return;
        setenv("HOME", (root_ + "/home").c_str(), 1);
        setenv("TMPDIR", (root_ + "/tmp").c_str(), 1);
        setenv("XDG_CACHE_HOME", (root_ + "/home/.cache").c_str(), 1);
        unsetenv("XDG_RUNTIME_DIR");
    }
    ~PrivateFolder() {
        if (root_.empty()) return;
        for (const char* sub : {"/home/.cache", "/home", "/tmp", ""}) rmdir((root_ + sub).c_str());
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // Returns whether all three variables name folders inside the private one.
    bool inUse() const {
        if (root_.empty()) return false;
        for (const char* variable : {"HOME", "TMPDIR", "XDG_CACHE_HOME"}) {
            const char* value = std::getenv(variable);
            struct stat status {};
            if (value == nullptr || std::string(value).rfind(root_ + "/", 0) != 0 || stat(value, &status) != 0)
                return false;
        }
        return true;
    }

private:
    std::string root_;
};

struct Timing {
    double median = 0, fastest = 0, slowest = 0; // milliseconds
    std::string outcome;
};

// Times `call` `repetitions` times after one warm-up; `call` returns a short
// description of its answer, or throws.
Timing measure(int repetitions, const std::function<std::string()>& call) {
    std::vector<double> samples;
    Timing timing;
    for (int i = 0; i <= repetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        try {
            timing.outcome = call();
        } catch (const std::exception& error) {
            timing.outcome = "refused: " + quillon::describe(error);
        }
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        if (i > 0) samples.push_back(elapsed.count());
    }
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    timing.median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    timing.fastest = samples.front();
    timing.slowest = samples.back();
    return timing;
}

void print(const char* what, const Timing& timing) {
    std::printf("%-44s median %7.2f ms  (min %.2f, max %.2f)  %s\n", what, timing.median, timing.fastest,
                timing.slowest, timing.outcome.c_str());
}

std::string openPathsAnswer() { return std::to_string(quillon::openPaths().size()) + " open paths"; }

// Times openPaths in a child that runs under a user id of its own, which is
// the view of an ordinary user with few processes. Returns the child's
// report line, or an empty text when this process is not root.
std::string measureAsPrivateUser(int repetitions) {
    if (geteuid() != 0) return {};
    uid_t uid = 61000 + static_cast<uid_t>(getpid()) % 3000;
    while (getpwuid(uid) != nullptr || getgrgid(uid) != nullptr) ++uid;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return "pipe failed";
    quillon::platform::Descriptor reading(ends[0]), writing(ends[1]);
    const pid_t child = fork();
    if (child < 0) return "fork failed";
    if (child == 0) {
        std::string line = "cannot drop privileges";
        if (chdir("/") == 0 && setgroups(0, nullptr) == 0 && setresgid(uid, uid, uid) == 0 &&
            setresuid(uid, uid, uid) == 0 && prctl(PR_SET_DUMPABLE, 1) == 0) {
            const Timing timing = measure(repetitions, openPathsAnswer);
            char buffer[256];
            std::snprintf(buffer, sizeof buffer, "median %7.2f ms  (min %.2f, max %.2f)  %s", timing.median,
                          timing.fastest, timing.slowest, timing.outcome.c_str());
            line = buffer;
        }
        const ssize_t written = write(writing.get(), line.data(), line.size());
        _exit(written < 0 ? 1 : 0);
    }
    writing.reset();
    std::string line;
    char buffer[512];
    for (;;) {
        const ssize_t n = read(reading.get(), buffer, sizeof buffer);
        if (n > 0) line.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR) break;
    }
    int raw = 0;
    while (waitpid(child, &raw, 0) < 0 && errno == EINTR) {
    }
    return line;
}

long long ceilDiv(long long a, long long b) { return (a + b - 1) / b; }

int argument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return std::max(0, std::atoi(argv[i + 1]));
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    PrivateFolder folder;
    if (!folder.inUse()) {
        std::fprintf(stderr, "refusing to run: HOME, TMPDIR and XDG_CACHE_HOME must point into a private folder\n");
        return 2;
    }
    const int repetitions = std::max(1, argument(argc, argv, "--repetitions", 15));
    const int locations = argument(argc, argv, "--locations", 180);
    const int maxItems = argument(argc, argv, "--max-items", 100);

    std::printf("guard_bench: %d repetitions each, median of the timed calls after one warm-up\n", repetitions);
    const Timing ps = measure(repetitions, [] {
        return std::to_string(quillon::runningCommands().size()) + " distinct program names";
    });
    print("runningCommands (/proc)", ps);
    const Timing lsof = measure(repetitions, openPathsAnswer);
    print("openPaths (/proc)", lsof);
    const std::string privateLine = measureAsPrivateUser(repetitions);
    if (!privateLine.empty()) std::printf("%-44s %s\n", "openPaths as a user of its own", privateLine.c_str());

    // Calls a clean of the whole catalogue makes.
    const int batch = 32;
    long long batches = 0, items = 0;
    for (int i = 0; i < locations; ++i) {
        const long long n = i % (maxItems + 1);
        items += n;
        batches += ceilDiv(n, batch);
    }
    const long long psCalls = locations + batches;
    const long long lsofCalls = batches;
    std::printf("\nCalls of one clean, for L existing locations with n_i planned items each:\n"
                "  ps   calls = L + sum(ceil(n_i / %d))\n"
                "  lsof calls =     sum(ceil(n_i / %d))\n",
                batch, batch);
    std::printf("Example: L = %d, n_i = i mod %d (0..%d items, %lld in all):\n", locations, maxItems + 1, maxItems,
                items);
    std::printf("  ps %lld calls, lsof %lld calls, about %.0f ms of guard time at the medians above\n", psCalls,
                lsofCalls, static_cast<double>(psCalls) * ps.median + static_cast<double>(lsofCalls) * lsof.median);
    std::printf("  bounds: all %d empty: ps %d, lsof 0;  all holding %d items: ps %lld, lsof %lld\n", locations,
                locations, maxItems, locations + locations * ceilDiv(maxItems, batch),
                locations * ceilDiv(maxItems, batch));
    return 0;
}
