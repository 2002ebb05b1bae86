// removeChecked deletes exactly what an inspection recorded, comparing the
// disk with the record right before each single deletion: the first
// difference stops the whole tree, and what went before stays deleted and
// counted.

#include "tests/fs/FsFixture.h"

#include "core/Texts.h"
#include "fs/ItemTree.h"
#include "fs/RemoveChecked.h"
#include "tests/support/OwnUser.h"

#include <sstream>
#include <unistd.h>

namespace quillon::fstest {
namespace {

void move(const Place& p, const char* from, const char* to) { must(::rename((p / from).c_str(), (p / to).c_str()) == 0); }

// Returns the sum of the recorded bytes of the items of `record` named by
// `paths` (space-separated, each starting with the record's own name).
std::int64_t recordedBytes(const Node& record, const std::string& paths) {
    std::int64_t sum = 0;
    std::istringstream words(paths);
    for (std::string path; words >> path;) {
        const Node* node = &record;
        for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
            const std::string name = path.substr(slash + 1, path.find('/', slash + 1) - slash - 1);
            for (const Node& child : node->children)
                if (child.name == name) node = &child;
        }
        sum += node->bytes;
    }
    return sum;
}

// One change made between the inspection of `target` and its removal: to the
// disk, to the record ("record ..."), or set up to happen during the removal
// by a look-up hook ("during ...").
struct Change {
    const char* label;
    const char* shape;
    const char* target;
    std::function<void(const Place& p, Node& record, RunControl& control)> change;
    const char* expected; // the outcome of the removal
    const char* left;     // what is left of the place afterwards
    const char* removed;  // the items whose recorded bytes were counted
};

TEST(RemoveChecked, KeepsWhateverChangedSinceTheInspection) {
    const auto none = [](auto&, auto&, auto&) {};
    const char* changed = text::itemChangedDuringCleanup;
    const Change changes[] = {
        {"unchanged tree", "d/ d/a/ d/a/x d/e/ d/c", "d", none, "no error", "", "d"},
        {"unchanged file", "f g", "f", none, "no error", "g", "f"},
        {"file rewritten", "f", "f", [](auto& p, auto&, auto&) { t::writeFile(p / "f", ""); }, changed, "f", ""},
        {"file replaced", "f g", "f", [](auto& p, auto&, auto&) { move(p, "g", "f"); }, changed, "f", ""},
        {"file now a link", "f g", "f", [](auto& p, auto&, auto&) { move(p, "f", "m"); t::makeSymlink("g", p / "f"); },
         changed, "f g m", ""},
        {"file gone", "f", "f", [](auto& p, auto&, auto&) { move(p, "f", "m"); }, changed, "m", ""},
        {"entry arrived", "d/ d/a", "d", [](auto& p, auto&, auto&) { t::writeFile(p / "d/new", ""); }, changed,
         "d/ d/a d/new", ""},
        {"entry arrived deeper", "d/ d/a/ d/a/x d/b", "d", [](auto& p, auto&, auto&) { t::writeFile(p / "d/a/n", ""); },
         changed, "d/ d/a/ d/a/n d/a/x d/b", ""},
        {"third of five rewritten", "d/ d/a d/b d/c d/d d/e", "d", [](auto& p, auto&, auto&) { t::writeFile(p / "d/c", ""); },
         changed, "d/ d/c d/d d/e", "d/a d/b"},
        {"folder now a link", "d/ d/a e/ e/a", "d", [](auto& p, auto&, auto&) { move(p, "d", "m"); t::makeSymlink("e", p / "d"); },
         changed, "d e/ e/a m/ m/a", ""},
        {"folder now a file", "d/", "d", [](auto& p, auto&, auto&) { move(p, "d", "m"); t::writeFile(p / "d", ""); },
         changed, "d m/", ""},
        {"record inode", "f", "f", [](auto&, Node& r, auto&) { r.inode += 1; }, changed, "f", ""},
        {"record device", "f", "f", [](auto&, Node& r, auto&) { r.device += 1; }, changed, "f", ""},
        {"record modified", "f", "f", [](auto&, Node& r, auto&) { r.modified.tv_nsec ^= 1; }, changed, "f", ""},
        {"record changed", "f", "f", [](auto&, Node& r, auto&) { r.changed.tv_nsec ^= 1; }, changed, "f", ""},
        {"record of a file, a folder", "d/", "d", [](auto&, Node& r, auto&) { r.directory = false; }, changed, "d/", ""},
        {"record of a file, a pipe", "p| f", "f", [](auto& p, Node& r, auto&) { r = recordOf(p.fd.get(), "p"); },
         changed, "f p", ""},
        {"record without an entry", "d/ d/a d/b", "d", [](auto&, Node& r, auto&) { r.children.pop_back(); },
         text::directoryChanged, "d/ d/a d/b", ""},
        {"record with another entry", "d/ d/a d/b", "d", [](auto&, Node& r, auto&) { r.children[1].name = "c"; },
         text::directoryChanged, "d/ d/a d/b", ""},
        {"record named through a link", "d/ d/f l->d", "d",
         [](auto&, Node& r, auto&) { r = Node(r.children[0]); r.name = "l/f"; }, changed, "d/ d/f l", ""},
        {"during: another owner", "f", "f", [](auto&, auto&, auto&) { setLookUpHook(ownedByAnother("f")); }, changed,
         "f", ""},
        {"during: cancelled at the look-up", "f", "f",
         [](auto&, auto&, RunControl& c) { setLookUpHook(afterFirstLookUpOf("f", [&c] { c.cancel(); })); },
         "cancelled", "f", ""},
        {"during: folder swapped", "d/ d/a", "d",
         [](auto& p, auto&, auto&) { setLookUpHook(replaceAfterFirstLookUpOf("a", p / "d", false)); },
         text::directoryChanged, "d.old/ d/", "d/a"},
        {"cancelled before", "d/ d/a", "d", [](auto&, auto&, RunControl& c) { c.cancel(); }, "cancelled", "d/ d/a", ""},
    };
    for (const Change& c : changes) {
        const Place p(c.shape);
        RunControl control;
        Node record = inspect(p.fd.get(), c.target, futureCutoff(), p.device);
        const ScopedLookUpHook hook;
        c.change(p, record, control);
        std::int64_t removed = 0;
        EXPECT_EQ(outcome([&] { removeChecked(p.fd.get(), record, removed, &control); }), c.expected) << c.label;
        EXPECT_EQ(tree(p.path), c.left) << c.label;
        EXPECT_EQ(removed, recordedBytes(record, c.removed)) << c.label;
    }
}

TEST(RemoveChecked, ReportsWhatTheSystemRefusesAndLeavesItAll) {
    const std::string base = t::freshDirectory("refused");
    const std::string answer = t::asUserOfItsOwn(
        [&](uid_t uid) {
            build(base, "file empty/ closed/");
            for (const char* item : {"", "/file", "/empty", "/closed"}) must(::lchown((base + item).c_str(), uid, uid) == 0);
            must(::chmod((base + "/closed").c_str(), 0) == 0 && ::chmod(base.c_str(), 0555) == 0);
        },
        [&] {
            const platform::Descriptor fd = openDirectory(base);
            std::string result;
            std::int64_t removed = 0;
            for (const char* name : {"file", "empty", "closed"})
                result += outcome([&] { removeChecked(fd.get(), recordOf(fd.get(), name), removed); }) + "|";
            return result + std::to_string(removed);
        });
    EXPECT_EQ(answer, std::string(text::cannotRemoveFile) + "|" + text::cannotRemoveDirectory + "|" +
                          text::cannotOpenItem + "|0");
    EXPECT_EQ(tree(base), "closed/ empty/ file");
}

} // namespace
} // namespace quillon::fstest
