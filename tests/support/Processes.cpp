#include "tests/support/Processes.h"

#include "tests/support/Fixture.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
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
    while (waitpid(child, &raw, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// A file in memory that a child writes to, read once it has ended: unlike a pipe, it never stalls a child that
// writes much, nor waits for whatever inherited it.
struct Output {
    const int fd = memfd_create("output", MFD_CLOEXEC);
    Output() { if (fd < 0) throw std::runtime_error("memfd_create failed"); }
    ~Output() { close(fd); }
    std::string text() const {
        std::string all;
        char buffer[65536];
        for (ssize_t n; (n = pread(fd, buffer, sizeof buffer, static_cast<off_t>(all.size()))) > 0;)
            all.append(buffer, static_cast<std::size_t>(n));
        return all;
    }
};

// The null-terminated list of pointers to `texts`, for an exec.
std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> list;
    for (std::string& text : texts) list.push_back(text.data());
    list.push_back(nullptr);
    return list;
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
    if (entry == nullptr || entry->pw_uid == 0) return false;
    uid = entry->pw_uid;
    gid = entry->pw_gid;
    return true;
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
        const std::string text =
            root && (chdir("/") != 0 || setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0 ||
                     setresuid(uid, uid, uid) != 0 || prctl(PR_SET_DUMPABLE, 1) != 0)
                ? "cannot become a user of its own"
                : body();
        _exit(write(answer.fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    reap(child);
    return answer.text();
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
    std::vector<std::string> argv = {path_, "600"};
    const int error = posix_spawn(&pid_, path_.c_str(), &actions, nullptr, pointers(argv).data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("posix_spawn " + path_ + ": " + std::strerror(error));
    // The spawn returns before the new program replaces the old one: wait up to ten seconds for it.
    const std::string exe = "/proc/" + std::to_string(pid_) + "/exe";
    char target[PATH_MAX];
    for (int wait = 0; wait < 2000; ++wait, usleep(5000)) {
        const ssize_t n = readlink(exe.c_str(), target, sizeof target);
        if (n > 0 && path_ == std::string_view(target, static_cast<std::size_t>(n))) return;
    }
    kill(pid_, SIGKILL), reap(pid_);
    throw std::runtime_error(path_ + " did not start");
}

RunningProgram::~RunningProgram() {
    if (pid_ > 0) kill(pid_, SIGKILL), reap(pid_);
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
