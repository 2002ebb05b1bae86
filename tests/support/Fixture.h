#pragma once

// Test helpers. Every test process runs inside a private fixture folder:
// before any test starts, HOME, TMPDIR and the XDG cache, configuration and
// state folders are pointed into a fresh folder of its own, and
// requireFixtureEnvironment() refuses to go on when they point anywhere
// else, so no test ever touches the real home or /tmp at large.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace quillon::testing {

// Returns the canonical path of this process's private fixture folder.
const std::string& fixtureRoot();

// Aborts the process unless HOME, TMPDIR, XDG_CACHE_HOME, XDG_CONFIG_HOME
// and XDG_STATE_HOME all lie inside fixtureRoot(). Call it before anything that runs a clean or the binary.
void requireFixtureEnvironment();

// Returns the canonical path of a new, empty folder inside the fixture root.
std::string freshDirectory(const std::string& label = "case");

// Small file helpers; each aborts the test (throws std::runtime_error) when
// the file system refuses.
void makeDirectory(const std::string& path);          // with intermediate folders
void writeFile(const std::string& path, const std::string& contents);
std::string readFile(const std::string& path);
void makeSymlink(const std::string& target, const std::string& path);
void makeHardLink(const std::string& existing, const std::string& path);
bool exists(const std::string& path);                 // without following a final link
// Sets access and modification time of `path` (not following a final link)
// to `seconds` since 1970.
void setModificationTime(const std::string& path, double seconds);
double now();

// Returns the number of descriptors this process holds open.
int openDescriptorCount();

// Result of running a program.
struct ProgramRun {
    int status = -1;        // exit status, or 128 + signal
    std::string out;        // standard output
    std::string err;        // standard error
};

// Runs `argv` (argv[0] an absolute path) with the current environment plus
// `environment` ("NAME=value" entries replace same-named ones), and returns
// its exit status and both output streams.
ProgramRun runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});

// Sets an environment variable (or, with a null value, removes it) for the
// life of the object, then puts back what was there.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name_, old_;
    bool had_ = false;
};

// Returns the path of the built quillon executable.
std::string quillonBinary();

// Returns a uid and gid that are not root and exist on this machine, for
// tests that need another owner or an unprivileged child ("nobody"); false
// when there is none.
bool unprivilegedAccount(unsigned& uid, unsigned& gid);

} // namespace quillon::testing
