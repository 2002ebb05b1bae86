// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "bench/support/BenchSupport.h"

#include "platform/Descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <pwd.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillon::bench {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

PrivateFolder::PrivateFolder() {
    char pattern[] = "/tmp/quillon-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    for (const char* sub : {"/home", "/tmp", "/home/.cache"}) {
        if (mkdir((path_ + sub).c_str(), 0700) != 0) throw std::runtime_error("mkdir failed");
    }
    setenv("HOME", (path_ + "/home").c_str(), 1);
    setenv("TMPDIR", (path_ + "/tmp").c_str(), 1);
    setenv("XDG_CACHE_HOME", (path_ + "/home/.cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (path_ + "/home/.config").c_str(), 1);
    setenv("XDG_STATE_HOME", (path_ + "/home/.local/state").c_str(), 1);
    unsetenv("XDG_RUNTIME_DIR");
    for (const char* name : {"HOME", "TMPDIR", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || std::string(value).rfind(path_ + "/", 0) != 0) {
            std::fprintf(stderr, "refusing to run: %s is not inside the private folder\n", name);
            std::abort();
        }
    }
}

PrivateFolder::~PrivateFolder() { run({"/bin/rm", "-rf", "--one-file-system", path_}); }

long buildTree(const std::string& root, int fanout, int directories, int filesPerDirectory) {
    long files = 0;
    const std::string content(200, 'x');
    for (int d = 0; d < directories; ++d) {
        const std::string dir = root + "/group-" + std::to_string(d % fanout) + "/dir-" + std::to_string(d);
        makeDirectories(dir);
        for (int f = 0; f < filesPerDirectory; ++f) {
            writeFile(dir + "/file-" + std::to_string(f) + ".log", content);
            ++files;
        }
    }
    return files;
}

namespace {

// A started child that is waited for exactly once: by wait(), or, when the
// caller leaves early, by the destructor after killing it.
class SpawnedChild {
public:
    explicit SpawnedChild(pid_t pid) : pid_(pid) {}
    ~SpawnedChild() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        wait();
    }
    SpawnedChild(const SpawnedChild&) = delete;
    SpawnedChild& operator=(const SpawnedChild&) = delete;

    // Returns the exit status, or 128 + the signal that ended the child.
    int wait() {
        int raw = 0;
        while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }

private:
    pid_t pid_;
};

} // namespace

CommandOutput capture(const std::vector<std::string>& argv) {
    std::vector<std::string> copies = argv;
    std::vector<char*> args;
    for (std::string& a : copies) args.push_back(a.data());
    args.push_back(nullptr);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return {};
    quillon::platform::Descriptor reading(ends[0]), writing(ends[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::unique_ptr<posix_spawn_file_actions_t, int (*)(posix_spawn_file_actions_t*)> destroyed(
        &actions, posix_spawn_file_actions_destroy);
    posix_spawn_file_actions_adddup2(&actions, writing.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writing.get(), STDERR_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) return {};
    SpawnedChild child(pid);
    writing.reset();
    CommandOutput output;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(reading.get(), buffer, sizeof buffer);
        if (n > 0) output.text.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR) break;
    }
    output.status = child.wait();
    return output;
}

int run(const std::vector<std::string>& argv) { return capture(argv).status; }

int processesOf(unsigned uid) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(proc)) {
        struct stat status {};
        if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9' &&
            ::fstatat(::dirfd(proc), entry->d_name, &status, 0) == 0 && status.st_uid == uid)
            ++count;
    }
    ::closedir(proc);
    return count;
}

unsigned becomeFixtureUser() {
    if (::geteuid() != 0) return ::getuid();
    uid_t uid = 61000 + static_cast<uid_t>(::getpid()) % 3000;
    while (::getpwuid(uid) != nullptr || ::getgrgid(uid) != nullptr || processesOf(uid) != 0) ++uid;
    if (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0 ||
        ::prctl(PR_SET_DUMPABLE, 1) != 0)
        throw std::runtime_error(std::string("cannot become a user of its own: ") + std::strerror(errno));
    return uid;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int numberOption(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return std::max(1, std::atoi(argv[i + 1]));
    return fallback;
}

int runCaught(const char* program, const std::function<int()>& body) {
    try {
        return body();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", program, error.what());
        return 1;
    }
}

long peakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace quillon::bench
