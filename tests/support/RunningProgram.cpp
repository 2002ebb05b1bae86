#include "tests/support/RunningProgram.h"

#include "tests/support/Fixture.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace quillon::testing {

namespace {

// Returns what /proc/<pid>/exe names, or the empty text.
std::string executableOf(pid_t pid) {
    char target[PATH_MAX];
    const ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), target, sizeof target);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

} // namespace

RunningProgram::RunningProgram(const std::string& name, const std::vector<std::string>& held)
    : path_(freshDirectory("program") + "/" + name) {
    writeFile(path_, readFile("/bin/sleep"));
    if (chmod(path_.c_str(), 0755) != 0) throw std::runtime_error("chmod " + path_ + ": " + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int descriptor = 3;
    for (const std::string& path : held)
        posix_spawn_file_actions_addopen(&actions, descriptor++, path.c_str(), O_RDONLY, 0);
    std::string program = path_, seconds = "600";
    char* argv[] = {program.data(), seconds.data(), nullptr};
    const int error = posix_spawn(&pid_, path_.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("posix_spawn " + path_ + ": " + std::strerror(error));
    // The spawn returns before the new program replaces the old one.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (executableOf(pid_) != path_) {
        if (std::chrono::steady_clock::now() > limit) {
            stop();
            throw std::runtime_error(path_ + " did not start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

RunningProgram::~RunningProgram() { stop(); }

void RunningProgram::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int raw = 0;
    while (waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

} // namespace quillon::testing
