#include "tests/support/Fixture.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillon::testing {

namespace {

std::string& rootStorage() {
    static std::string root;
    return root;
}

[[noreturn]] void failed(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

bool inside(const char* variable, const std::string& root) {
    const char* value = std::getenv(variable);
    if (value == nullptr) return false;
    char* real = realpath(value, nullptr);
    if (real == nullptr) return false;
    const std::string resolved = real;
    std::free(real);
    return resolved == root || resolved.rfind(root + "/", 0) == 0;
}

} // namespace

void setUpFixtureRoot() {
    char pattern[] = "/tmp/quillon-fixture-XXXXXX";
    if (mkdtemp(pattern) == nullptr) failed("mkdtemp");
    char* real = realpath(pattern, nullptr);
    rootStorage() = real;
    std::free(real);
    const std::string root = rootStorage();
    // Readable by all, so that a test may drop to another user and still open
    // (component by component, each for reading) the folders it made for
    // that user. What is private inside stays 0700.
    if (chmod(root.c_str(), 0755) != 0) failed("chmod");
    writeFile(root + "/.quillon-fixture", "private test fixture\n");
    for (const char* sub : {"/home", "/tmp", "/home/.cache", "/home/.config", "/home/.local", "/home/.local/state"}) {
        if (mkdir((root + sub).c_str(), 0700) != 0) failed("mkdir");
    }
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("TMPDIR", (root + "/tmp").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/home/.cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/home/.config").c_str(), 1);
    setenv("XDG_STATE_HOME", (root + "/home/.local/state").c_str(), 1);
    unsetenv("XDG_RUNTIME_DIR");
}

void tearDownFixtureRoot() {
    const std::string& root = rootStorage();
    if (root.rfind("/tmp/quillon-fixture-", 0) != 0) return;
    // Fixtures may hold folders without write permission; take it back first.
    runProgram({"/bin/chmod", "-R", "u+rwx", root});
    runProgram({"/bin/rm", "-rf", "--one-file-system", root});
}

const std::string& fixtureRoot() { return rootStorage(); }

void requireFixtureEnvironment() {
    const std::string& root = rootStorage();
    struct stat marker {};
    const bool ok = !root.empty() && stat((root + "/.quillon-fixture").c_str(), &marker) == 0 &&
                    inside("HOME", root) && inside("TMPDIR", root) && inside("XDG_CACHE_HOME", root) &&
                    inside("XDG_CONFIG_HOME", root) && inside("XDG_STATE_HOME", root);
    if (!ok) {
        std::fprintf(stderr, "refusing to run: HOME, TMPDIR and the XDG folders must point into the test fixture\n");
        std::abort();
    }
}

std::string freshDirectory(const std::string& label) {
    static int counter = 0;
    const std::string path = rootStorage() + "/" + label + "-" + std::to_string(++counter);
    if (mkdir(path.c_str(), 0755) != 0) failed("mkdir " + path);
    return path;
}

void makeDirectory(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = slash == std::string::npos ? path : path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) failed("mkdir " + prefix);
        if (slash == std::string::npos) break;
    }
}

void writeFile(const std::string& path, const std::string& contents) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) failed("open " + path);
    std::size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n <= 0) {
            close(fd);
            failed("write " + path);
        }
        done += static_cast<std::size_t>(n);
    }
    close(fd);
}

std::string readFile(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) failed("open " + path);
    std::string out;
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
        if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
        else if (errno != EINTR) break;
    }
    close(fd);
    return out;
}

void makeSymlink(const std::string& target, const std::string& path) {
    if (symlink(target.c_str(), path.c_str()) != 0) failed("symlink " + path);
}

void makeHardLink(const std::string& existing, const std::string& path) {
    if (link(existing.c_str(), path.c_str()) != 0) failed("link " + path);
}

bool exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

void setModificationTime(const std::string& path, double seconds) {
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) failed("utimensat " + path);
}

double now() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int openDescriptorCount() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    closedir(dir);
    return count - 1; // the listing's own descriptor
}

ProgramRun runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    std::vector<std::string> env = environment;
    const auto named = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** e = environ; *e; ++e)
        if (std::none_of(environment.begin(), environment.end(), [&](auto& x) { return named(x) == named(*e); }))
            env.emplace_back(*e);
    std::vector<char*> args, envp;
    std::vector<std::string> argCopy = argv;
    for (std::string& a : argCopy) args.push_back(a.data());
    for (std::string& e : env) envp.push_back(e.data());
    args.push_back(nullptr);
    envp.push_back(nullptr);

    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) failed("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    pid_t child = -1;
    const int error = posix_spawn(&child, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    ProgramRun run;
    // Both streams at once: reading one to its end first would stall a child
    // that fills the other.
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    while (error == 0 && (fds[0].fd >= 0 || fds[1].fd >= 0)) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) sinks[i]->append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR) fds[i].fd = -1;
        }
    }
    close(outPipe[0]);
    close(errPipe[0]);
    if (error != 0) throw std::runtime_error("posix_spawn " + argv[0] + ": " + std::strerror(error));
    int raw = 0;
    while (waitpid(child, &raw, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return run;
}

ScopedVariable::ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
}

ScopedVariable::~ScopedVariable() {
    if (had_) setenv(name_.c_str(), old_.c_str(), 1);
    else unsetenv(name_.c_str());
}

std::string quillonBinary() { return QUILLON_BINARY; }

bool unprivilegedAccount(unsigned& uid, unsigned& gid) {
    const passwd* entry = getpwnam("nobody");
    if (entry == nullptr || entry->pw_uid == 0) return false;
    uid = entry->pw_uid;
    gid = entry->pw_gid;
    return true;
}

} // namespace quillon::testing
