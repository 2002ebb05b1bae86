#include "platform/Process.h"

#include "platform/PlatformError.h"

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillon::platform {

namespace {

class Pipe {
public:
    Pipe() {
        if (pipe2(ends_, O_CLOEXEC) != 0) throw PlatformError("Cannot create pipe: " + errorText(errno));
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int readEnd() const { return ends_[0]; }
    int writeEnd() const { return ends_[1]; }
    void closeRead() { closeEnd(0); }
    void closeWrite() { closeEnd(1); }

private:
    void closeEnd(int i) {
        if (ends_[i] >= 0) close(ends_[i]);
        ends_[i] = -1;
    }
    int ends_[2] = {-1, -1};
};

class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
};

int statusOf(int raw) {
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
    return 255;
}

} // namespace

ChildOutput runChild(const std::string& path, const std::vector<std::string>& arguments) {
    Pipe pipe;
    FileActions actions;
    int rc = posix_spawn_file_actions_adddup2(actions.get(), pipe.writeEnd(), STDOUT_FILENO);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(actions.get(), pipe.writeEnd(), STDERR_FILENO);
    // Nothing but 0, 1 and 2 reaches the child, whatever else is open here.
    if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
    if (rc != 0) throw PlatformError("Cannot launch " + path + ": " + errorText(rc));

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    std::string program = path;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t child = -1;
    rc = posix_spawn(&child, path.c_str(), actions.get(), nullptr, argv.data(), environ);
    if (rc != 0) throw PlatformError("Cannot launch " + path + ": " + errorText(rc));
    pipe.closeWrite();

    ChildOutput result;
    int readError = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(pipe.readEnd(), buffer, sizeof buffer);
        if (n > 0) {
            result.bytes.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            readError = errno;
            break;
        }
    }
    pipe.closeRead();

    int raw = 0;
    while (waitpid(child, &raw, 0) < 0) {
        if (errno != EINTR) throw PlatformError("Cannot wait for " + path + ": " + errorText(errno));
    }
    // A partial answer must never pass for a whole one.
    if (readError != 0) throw PlatformError("Cannot read output of " + path + ": " + errorText(readError));
    result.status = statusOf(raw);
    return result;
}

} // namespace quillon::platform
