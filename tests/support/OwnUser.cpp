#include "tests/support/OwnUser.h"

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon::testing {

std::string asUserOfItsOwn(const std::function<void(uid_t)>& prepare, const std::function<std::string()>& body) {
    const bool root = geteuid() == 0;
    uid_t uid = root ? 61000 + static_cast<uid_t>(getpid()) % 3000 : getuid();
    while (root && (getpwuid(uid) != nullptr || getgrgid(uid) != nullptr)) ++uid;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child < 0) return "fork failed";
    if (child == 0) {
        close(ends[0]);
        prepare(uid);
        std::string answer;
        // A change of user makes a process non-dumpable; it is given back.
        if (root && (chdir("/") != 0 || setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0 ||
                     setresuid(uid, uid, uid) != 0 || prctl(PR_SET_DUMPABLE, 1) != 0))
            answer = "cannot become a user of its own";
        else
            answer = body();
        const ssize_t written = write(ends[1], answer.data(), answer.size());
        _exit(written == static_cast<ssize_t>(answer.size()) ? 0 : 1);
    }
    close(ends[1]);
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0) answer.append(buffer, static_cast<std::size_t>(n));
        else if (errno != EINTR) break;
    }
    close(ends[0]);
    int raw = 0;
    while (waitpid(child, &raw, 0) < 0 && errno == EINTR) {
    }
    return answer;
}

} // namespace quillon::testing
