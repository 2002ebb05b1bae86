// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "tests/support/Processes.h"

#include "tests/support/Fixture.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillon::testing {

namespace {

// Waits for `child` to end; returns its exit status, or 128 + signal.
int reap(pid_t child) {
    int raw = 0;
    while (waitpid(child, &raw, 0) < 0 && errno == EINTR) continue;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// A file in memory that a child writes to, read once it has ended: unlike a pipe, it never stalls a child that
// writes much, nor waits for whatever inherited it.
struct Output {
    const int fd = memfd_create("output", MFD_CLOEXEC);
    Output() { if (fd < 0) throw std::runtime_error("memfd_create failed"); }
    ~Output() { close(fd); }
    std::string text() const { return readFile("/proc/self/fd/" + std::to_string(fd)); } // from its start
};

// The null-terminated list of pointers to `texts`, for an exec.
std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> list;
    for (std::string& text : texts) list.push_back(text.data());
    list.push_back(nullptr);
    return list;
}

// Returns a child that has run `setUp` (only calls that are safe after a fork) and then waits to be killed, once it
// has closed its end of a pipe: after `setUp`, or during an exec in it, past the point of no return, when /proc
// already shows the new program.
pid_t start(const std::function<void()>& setUp) {
    int ends[2];
    pid_t child = -1;
    if (pipe2(ends, O_CLOEXEC) != 0 || (child = fork()) < 0) throw std::runtime_error("cannot start a child");
    if (child == 0) {
        setUp();
        close(ends[1]);
        for (;;) pause();
    }
    close(ends[1]);
    char byte;
    while (read(ends[0], &byte, 1) < 0 && errno == EINTR) continue;
    close(ends[0]);
    return child;
}

} // namespace

ProgramRun runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    std::vector<std::string> strings = argv, env = environment;
    const auto named = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** e = environ; *e; ++e)
        if (std::none_of(environment.begin(), environment.end(), [&](auto& x) { return named(x) == named(*e); }))
            env.emplace_back(*e);
    const Output out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.fd, 1);
    posix_spawn_file_actions_adddup2(&actions, err.fd, 2);
    pid_t child = -1;
    const int error = posix_spawn(&child, argv.at(0).c_str(), &actions, nullptr, pointers(strings).data(),
                                  pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("posix_spawn " + argv[0] + ": " + std::strerror(error));
    const int status = reap(child);
    return {status, out.text(), err.text()};
}

std::string quillonBinary() { return QUILLON_BINARY; }

bool unprivilegedAccount(unsigned& uid, unsigned& gid) {
    const passwd* entry = getpwnam("nobody");
    if (entry != nullptr) uid = entry->pw_uid, gid = entry->pw_gid;
    return entry != nullptr && entry->pw_uid != 0;
}

std::string asUserOfItsOwn(const std::function<void(uid_t)>& prepare, const std::function<std::string()>& body) {
    const bool root = geteuid() == 0;
    uid_t uid = root ? 61000 + static_cast<uid_t>(getpid()) % 3000 : getuid();
    while (root && (getpwuid(uid) != nullptr || getgrgid(uid) != nullptr)) ++uid;
    const Output answer;
    const pid_t child = fork();
    if (child < 0) return "fork failed";
    if (child == 0) {
        prepare(uid);
        // A change of user makes a process non-dumpable; it is given back.
        const bool changed = !root || (chdir("/") == 0 && setgroups(0, nullptr) == 0 && setresgid(uid, uid, uid) == 0 &&
                                       setresuid(uid, uid, uid) == 0 && prctl(PR_SET_DUMPABLE, 1) == 0);
        const std::string text = changed ? body() : "cannot become a user of its own";
        _exit(write(answer.fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    reap(child);
    return answer.text();
}

RunningProgram::RunningProgram(const std::string& name, const std::vector<std::string>& held) {
    const std::string path = freshDirectory("program") + "/" + name;
    writeFile(path, readFile("/bin/sleep"));
    if (chmod(path.c_str(), 0755) != 0) throw std::runtime_error("chmod " + path + ": " + std::strerror(errno));
    pid_ = start([&] {
        for (const std::string& file : held) open(file.c_str(), O_RDONLY); // kept open across the exec
        execl(path.c_str(), path.c_str(), "600", nullptr);
        _exit(127);
    });
    std::error_code unread; // the exec failed unless /proc shows the new program
    if (std::filesystem::read_symlink("/proc/" + std::to_string(pid_) + "/exe", unread) != path) {
        kill(pid_, SIGKILL), reap(pid_);
        throw std::runtime_error(path + " did not start");
    }
}

RunningProgram::RunningProgram(const std::string& path, Hold how) : pid_(start([&] {
    const int fd = open(path.c_str(), how == Hold::writing ? O_RDWR : O_RDONLY);
    if (how == Hold::mapping && (mmap(nullptr, 1, PROT_READ, MAP_SHARED, fd, 0) == MAP_FAILED || close(fd) != 0))
        _exit(1);
})) {}

RunningProgram::~RunningProgram() { kill(pid_, SIGKILL), reap(pid_); }

} // namespace quillon::testing
