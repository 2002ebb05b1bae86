#include "tests/support/Processes.h"

#include "tests/support/Fixture.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace quillon::testing {

namespace {

// Waits for `child` to end; returns its exit status, or 128 + signal.
int reap(pid_t child) {
    int raw = 0;
    while (waitpid(child, &raw, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// Reads `fd` to its end into `out`; returns false when the end is reached.
bool drain(int fd, std::string& out) {
    char buffer[65536];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
    return n > 0 || (n < 0 && errno == EINTR);
}

} // namespace

ProgramRun runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    std::vector<std::string> strings = argv, env = environment;
    const auto named = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** e = environ; *e; ++e)
        if (std::none_of(environment.begin(), environment.end(), [&](auto& x) { return named(x) == named(*e); }))
            env.emplace_back(*e);
    std::vector<char*> args, envp;
    for (std::string& a : strings) args.push_back(a.data());
    for (std::string& e : env) envp.push_back(e.data());
    args.push_back(nullptr);
    envp.push_back(nullptr);

    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    pid_t child = -1;
    const int error = posix_spawn(&child, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    ProgramRun run;
    // Both streams at once: reading one to its end first would stall a child
    // that fills the other.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    while (error == 0 && (fds[0].fd >= 0 || fds[1].fd >= 0)) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i)
            if (fds[i].fd >= 0 && fds[i].revents != 0 && !drain(fds[i].fd, *sinks[i])) fds[i].fd = -1;
    }
    close(out[0]);
    close(err[0]);
    if (error != 0) throw std::runtime_error("posix_spawn " + argv[0] + ": " + std::strerror(error));
    run.status = reap(child);
    return run;
}

std::string quillonBinary() { return QUILLON_BINARY; }

bool unprivilegedAccount(unsigned& uid, unsigned& gid) {
    const passwd* entry = getpwnam("nobody");
    if (entry == nullptr || entry->pw_uid == 0) return false;
    uid = entry->pw_uid;
    gid = entry->pw_gid;
    return true;
}

std::string asUserOfItsOwn(const std::function<void(uid_t)>& prepare, const std::function<std::string()>& body) {
    const bool root = geteuid() == 0;
    uid_t uid = root ? 61000 + static_cast<uid_t>(getpid()) % 3000 : getuid();
    while (root && (getpwuid(uid) != nullptr || getgrgid(uid) != nullptr)) ++uid;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child < 0) {
        close(ends[0]);
        close(ends[1]);
        return "fork failed";
    }
    if (child == 0) {
        close(ends[0]);
        prepare(uid);
        // A change of user makes a process non-dumpable; it is given back.
        const std::string answer =
            root && (chdir("/") != 0 || setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0 ||
                     setresuid(uid, uid, uid) != 0 || prctl(PR_SET_DUMPABLE, 1) != 0)
                ? "cannot become a user of its own"
                : body();
        _exit(write(ends[1], answer.data(), answer.size()) == static_cast<ssize_t>(answer.size()) ? 0 : 1);
    }
    close(ends[1]);
    std::string answer;
    while (drain(ends[0], answer)) {
    }
    close(ends[0]);
    reap(child);
    return answer;
}

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
    const std::string exe = "/proc/" + std::to_string(pid_) + "/exe";
    char target[PATH_MAX];
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (ssize_t n; (n = readlink(exe.c_str(), target, sizeof target)) <= 0 ||
                    std::string(target, static_cast<std::size_t>(n)) != path_;) {
        if (std::chrono::steady_clock::now() > limit) {
            kill(pid_, SIGKILL);
            reap(pid_);
            throw std::runtime_error(path_ + " did not start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

RunningProgram::~RunningProgram() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    reap(pid_);
    pid_ = -1;
}

RunningProgram::RunningProgram(const std::string& path, Hold how) {
    int ends[2]; // the child closes its end once it holds the file
    if (pipe2(ends, O_CLOEXEC) != 0 || (pid_ = fork()) < 0) throw std::runtime_error("cannot start a holder");
    if (pid_ == 0) { // only calls that are safe after a fork
        const int fd = open(path.c_str(), how == Hold::writing ? O_RDWR : O_RDONLY);
        if (how == Hold::mapping && (mmap(nullptr, 1, PROT_READ, MAP_SHARED, fd, 0) == MAP_FAILED || close(fd) != 0))
            _exit(1);
        close(ends[1]);
        for (;;) pause();
    }
    close(ends[1]);
    char byte;
    while (read(ends[0], &byte, 1) < 0 && errno == EINTR) continue;
    close(ends[0]);
}

} // namespace quillon::testing
