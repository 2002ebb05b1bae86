#include "bench/support/BenchSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
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

void makeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = slash == std::string::npos ? path : path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) throw std::runtime_error("mkdir " + prefix);
        if (slash == std::string::npos) break;
    }
}

long buildTree(const std::string& root, int fanout, int directories, int filesPerDirectory) {
    long files = 0;
    const std::string content(200, 'x');
    for (int d = 0; d < directories; ++d) {
        const std::string dir = root + "/group-" + std::to_string(d % fanout) + "/dir-" + std::to_string(d);
        makeDirectories(dir);
        for (int f = 0; f < filesPerDirectory; ++f) {
            const std::string file = dir + "/file-" + std::to_string(f) + ".log";
            const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0 || write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
                throw std::runtime_error("write " + file);
            close(fd);
            ++files;
        }
    }
    return files;
}

int run(const std::vector<std::string>& argv) {
    std::vector<std::string> copies = argv;
    std::vector<char*> args;
    for (std::string& a : copies) args.push_back(a.data());
    args.push_back(nullptr);
    // Only the exit status matters; the command's output is dropped.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    const int rc = posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

long peakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace quillon::bench
