#include "tests/harness/Rules.h"

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace quillon::harness {

namespace {

class Account {
public:
    explicit Account(const Trial& trial) : trial_(trial) {}

    std::set<std::string> plannable() {
        for (const Candidate& location : trial_.locations) {
            const Identity& root = trial_.initial.at(location.path).identity;
            // Planning refuses a root that is not a folder of the user's own.
            if (!root.directory() || root.owner != ::getuid()) continue;
            for (const auto& [path, entry] : trial_.initial) {
                if (path == location.path || trial_.governing(path) != &location) continue;
                const bool direct = parentOf(path) == location.path;
                const bool someBytes = entry.identity.bytes > 0;
                switch (location.mode) {
                case ScanMode::whole: break;
                case ScanMode::oldChildren:
                    if (direct && wholeTreeQualifies(path) && (entry.identity.directory() || someBytes)) add(path);
                    break;
                case ScanMode::oldFiles:
                case ScanMode::oldTopFiles:
                    if (entry.identity.regular() && qualifies(path) && someBytes && matchesLogPattern(baseName(path)) &&
                        (location.mode == ScanMode::oldFiles ? reachable(location.path, path) : direct))
                        result_.insert(path);
                    break;
                }
            }
            if (location.mode == ScanMode::whole && wholeTreeQualifies(location.path)) add(location.path);
        }
        return result_;
    }

private:
    bool qualifies(const std::string& path) const {
        const Identity& id = trial_.initial.at(path).identity;
        const auto newest = std::max({id.modified.tv_sec, id.changed.tv_sec, id.born.tv_sec});
        return id.owner == ::getuid() && (id.directory() || (id.regular() && id.links == 1)) &&
               static_cast<double>(newest) <= std::floor(trial_.builtAt) && validUtf8(baseName(path));
    }

    bool wholeTreeQualifies(const std::string& top) const {
        for (auto it = trial_.initial.lower_bound(top); it != trial_.initial.end(); ++it) {
            if (!within(it->first, top)) {
                if (it->first.compare(0, top.size(), top) != 0) break;
                continue; // a sibling that sorts in between, such as "top x"
            }
            if (!qualifies(it->first)) return false;
        }
        return true;
    }

    void add(const std::string& top) {
        for (const auto& [path, entry] : trial_.initial)
            if (within(path, top)) result_.insert(path);
    }

    // Whether an old-file scan reaches `file` from `root`: every folder in
    // between is the user's own and its name can be looked up.
    bool reachable(const std::string& root, const std::string& file) const {
        for (std::string dir = parentOf(file); dir.size() > root.size(); dir = parentOf(dir)) {
            const Identity& id = trial_.initial.at(dir).identity;
            if (id.owner != ::getuid() || !validUtf8(baseName(dir))) return false;
        }
        return true;
    }

    const Trial& trial_;
    std::set<std::string> result_;
};

} // namespace

std::set<std::string> plannableItems(const Trial& trial) { return Account(trial).plannable(); }

bool matchesLogPattern(const std::string& name) {
    // ".log", then maybe "." and digits, then maybe ".gz", at the very end,
    // in any case of letters.
    std::string rest;
    for (const char c : name) rest += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    const auto endsWith = [&](const std::string& tail) {
        return rest.size() >= tail.size() && rest.compare(rest.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (endsWith(".gz")) rest.resize(rest.size() - 3);
    std::size_t digits = 0;
    while (digits < rest.size() && rest[rest.size() - 1 - digits] >= '0' && rest[rest.size() - 1 - digits] <= '9')
        ++digits;
    if (digits > 0 && digits < rest.size() && rest[rest.size() - 1 - digits] == '.') rest.resize(rest.size() - 1 - digits);
    return endsWith(".log");
}

bool validUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        if (c < 0x80) extra = 0;
        else if ((c & 0xE0) == 0xC0 && c >= 0xC2) extra = 1;
        else if ((c & 0xF0) == 0xE0) extra = 2;
        else if ((c & 0xF8) == 0xF0 && c <= 0xF4) extra = 3;
        else return false;
        if (extra > 0 && i + extra >= text.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return text.find("\xEF\xBF\xBD") == std::string::npos;
}

} // namespace quillon::harness
