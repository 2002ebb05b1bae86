#include "guard/OpenFiles.h"

#include "core/Errors.h"
#include "core/StartupValues.h"

#include <algorithm>
#include <string_view>
#include <unistd.h>

namespace quillon {

namespace {

constexpr const char* untrusted = "Cannot verify open files; kept everything";

// lsof's own messages: such an answer is never used, not even in part.
constexpr std::string_view distrustedTexts[] = {"WARNING", "lsof:"};

// lsof's notes after a path it could not check (one removed or renamed
// meanwhile, or one inside another mount namespace such as a sandboxed
// app's): "/p (stat: reason)" and "/p lstat: reason)". The path before the
// first note is still the open file's, so both texts are kept: the exact
// one, in case a name really contains a note, and the path without it.
constexpr std::string_view uncheckedMarks[] = {" (stat: ", " lstat: "};

std::size_t firstUncheckedMark(const std::string& path) {
    std::size_t first = std::string::npos;
    for (std::string_view mark : uncheckedMarks) first = std::min(first, path.find(mark));
    return first;
}

// What lsof prints instead of the descriptors of a process of the user that
// may not be inspected (an agent that made itself non-dumpable, a sandbox's
// own helper): those lines name no open file. Treating them as fatal would
// keep everything for nearly every desktop user, so they are passed over;
// such processes are a known blind spot of the open-file check.
constexpr std::string_view uninspectableMarks[] = {" (readlink: ", " (opendir: "};

bool namesNoOpenFile(std::string_view line) {
    for (std::string_view mark : uninspectableMarks)
        if (line.find(mark) != std::string_view::npos) return true;
    return false;
}

// The UTF-8 form of U+FFFD: the lossy decoding put it where lsof printed
// bytes that were not UTF-8, so the text no longer spells the path.
constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// lsof prints a name in a printable form: a backslash doubled, some control
// characters as "\n"-style escapes, other unprintable bytes as "\xHH", and
// the remaining control characters as "^" and a letter. Returns false when
// the printed form cannot be turned back into exactly one path.
bool unescapeName(std::string_view printed, std::string& path) {
    path.clear();
    path.reserve(printed.size());
    for (std::size_t i = 0; i < printed.size(); ++i) {
        const char c = printed[i];
        if (c == '^') {
            // "^A" may be a control character or the two characters themselves.
            const char next = i + 1 < printed.size() ? printed[i + 1] : '\0';
            if ((next >= '@' && next <= '_') || next == '?') return false;
            path += c;
            continue;
        }
        if (c != '\\') {
            path += c;
            continue;
        }
        if (i + 1 >= printed.size()) return false;
        const char kind = printed[++i];
        switch (kind) {
        case '\\': path += '\\'; break;
        case 'n': path += '\n'; break;
        case 't': path += '\t'; break;
        case 'r': path += '\r'; break;
        case 'b': path += '\b'; break;
        case 'f': path += '\f'; break;
        case 'x': {
            if (i + 2 >= printed.size()) return false;
            const int high = hexValue(printed[i + 1]);
            const int low = hexValue(printed[i + 2]);
            if (high < 0 || low < 0) return false;
            path += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}

} // namespace

std::string lsofPath() {
    for (const char* candidate : {"/usr/sbin/lsof", "/usr/bin/lsof"})
        if (fm.fileExists(candidate)) return candidate;
    return "/usr/sbin/lsof";
}

std::vector<std::string> openPaths(const RunControl* control) { return openPathsWith(lsofPath(), control); }

std::vector<std::string> openPathsWith(const std::string& lsof, const RunControl* control) {
    // Only the real user's processes can hold the user's items open in a way
    // that matters here, and only theirs are readable without privileges.
    const std::vector<std::string> arguments = {"-nP", "-Fn", "-u", std::to_string(getuid())};
    return openPathsFromLsof(command(lsof, arguments, control));
}

std::vector<std::string> openPathsFromLsof(const CommandResult& result) {
    if (result.status != 0) throw SafetyError::skip(untrusted);
    const std::string& output = result.output;
    for (std::string_view text : distrustedTexts)
        if (output.find(text) != std::string::npos) throw SafetyError::skip(untrusted);

    std::vector<std::string> paths;
    std::string path;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string_view line(output.data() + start, end - start);
        start = end + 1;
        // Other fields (process, descriptor) and names that are not paths
        // (sockets, pipes, anonymous inodes) say nothing about the user's files.
        if (line.size() < 2 || line[0] != 'n' || line[1] != '/' || namesNoOpenFile(line)) continue;
        const std::string_view printed = line.substr(1);
        if (printed.find(replacementCharacter) != std::string_view::npos) throw SafetyError::skip(untrusted);
        if (!unescapeName(printed, path)) throw SafetyError::skip(untrusted);
        const std::size_t mark = firstUncheckedMark(path);
        if (mark != std::string::npos) paths.push_back(path.substr(0, mark));
        paths.push_back(path);
    }
    return paths;
}

} // namespace quillon
