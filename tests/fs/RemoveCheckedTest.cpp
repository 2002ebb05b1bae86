// removeChecked deletes exactly what an inspection recorded, comparing the disk with the record right before each
// single deletion: the first difference or held file stops the whole tree; what went before stays deleted and counted.

#include "tests/fs/FsFixture.h"

#include "fs/ItemTree.h"
#include "fs/RemoveChecked.h"
#include "tests/support/Processes.h"

#include <optional>

namespace quillon::fstest {
namespace {

void move(const Place& p, const std::string& from, const std::string& to) {
    must(::rename((p / from).c_str(), (p / to).c_str()) == 0);
}

// Moves `name` to `name`.old and puts a link to `to`, or an empty folder, in its place.
void swap(const Place& p, const std::string& name, const char* to) {
    move(p, name, name + ".old");
    to ? t::makeSymlink(to, p / name) : t::makeDirectory(p / name);
}

// One change made between the inspection of `target` and its removal: to the disk, to the record ("record ..."), by
// a look-up hook during the removal, by a child process that holds a file, or to how the removal asks about held files.
struct Scene {
    const Place& p;
    Node& record;
    RunControl& control;
    HeldCheck& held;
    std::optional<t::RunningProgram>& holder;
};
template <t::Hold how> void holdB(const Scene& s) { s.holder.emplace(s.p / "d/b", how); }
// The kernel has no lease to give; the picture shows "d/b" open, or nothing.
template <bool shown> void noLeases(const Scene& s) {
    s.held.lease = [](int, auto&, auto&) { return platform::FileLease(platform::LeaseAnswer::unknown); };
    s.held.inPicture = [](const std::string& path) { return shown && path == "d/b"; };
}
struct Change {
    const char *label, *shape, *target;
    void (*change)(const Scene&);
    const char* expected; // the outcome of the removal
    const char* left;     // what is left of the place afterwards
    int removed;          // whose recorded bytes were counted: all (-1), or the first n children
};

TEST(RemoveChecked, KeepsWhateverChangedSinceTheInspection) {
    const auto none = [](auto&) {};
    const char *changed = text::itemChangedDuringCleanup, *directoryChanged = text::directoryChanged;
    const Change changes[] = {
        {"unchanged tree", "d/ d/a/ d/a/x d/e/ d/c", "d", none, "no error", "", -1},
        {"file replaced", "f g", "f", [](auto& s) { move(s.p, "g", "f"); }, changed, "f", 0},
        {"file now a link", "f g", "f", [](auto& s) { swap(s.p, "f", "g"); }, changed, "f f.old g", 0},
        {"file gone", "f", "f", [](auto& s) { move(s.p, "f", "m"); }, changed, "m", 0},
        {"entry arrived deeper", "d/ d/a/ d/a/x d/b", "d", [](auto& s) { t::writeFile(s.p / "d/a/n", ""); }, changed,
         "d/ d/a/ d/a/n d/a/x d/b", 0},
        {"third of five rewritten", "d/ d/a d/b d/c d/d d/e", "d", [](auto& s) { t::writeFile(s.p / "d/c", ""); },
         changed, "d/ d/c d/d d/e", 2},
        {"folder now a link", "d/ d/a e/ e/a", "d", [](auto& s) { swap(s.p, "d", "e"); }, changed,
         "d d.old/ d.old/a e/ e/a", 0},
        {"record inode", "f", "f", [](auto& s) { s.record.inode += 1; }, changed, "f", 0},
        {"record device", "f", "f", [](auto& s) { s.record.device += 1; }, changed, "f", 0},
        {"record modified", "f", "f", [](auto& s) { s.record.modified.tv_nsec ^= 1; }, changed, "f", 0},
        {"record changed", "f", "f", [](auto& s) { s.record.changed.tv_nsec ^= 1; }, changed, "f", 0},
        {"record of a file, a pipe (no lease to look)", "p| f", "f",
         [](auto& s) { noLeases<false>(s); s.record = recordOf(s.p.fd.get(), "p"); }, changed, "f p", 0},
        {"record without an entry", "d/ d/a d/b", "d", [](auto& s) { s.record.children.pop_back(); }, directoryChanged,
         "d/ d/a d/b", 0},
        {"record with another entry", "d/ d/a d/b", "d", [](auto& s) { s.record.children[1].name = "c"; },
         directoryChanged, "d/ d/a d/b", 0},
        {"record named through a link", "d/ d/f l->d", "d",
         [](auto& s) { s.record = recordOf(s.p.fd.get(), "l/f"); }, changed, "d/ d/f l", 0},
        {"another owner", "f", "f", [](auto&) { setLookUpHook(ownedByAnother("f")); }, changed, "f", 0},
        {"cancelled at the look-up", "f", "f",
         [](auto& s) { setLookUpHook(onFirstLookUpOf("f", [&c = s.control](int) { c.cancel(); })); }, "cancelled",
         "f", 0},
        {"folder swapped before it goes", "d/ d/a", "d",
         [](auto& s) { setLookUpHook(onFirstLookUpOf("a", [&p = s.p](int) { swap(p, "d", nullptr); })); },
         directoryChanged, "d.old/ d/", 1},
        {"folder now a link at its look-up", "d/ d/a", "d",
         [](auto&) { setLookUpHook(replaceOnLookUpOf("d", true)); }, text::cannotOpenItem, "d d.old/ d.old/a", 0},
        {"folder swapped at its look-up", "d/ d/a", "d",
         [](auto&) { setLookUpHook(replaceOnLookUpOf("d", false)); }, directoryChanged, "d.old/ d.old/a d/", 0},
        {"cancelled before", "d/ d/a", "d", [](auto& s) { s.control.cancel(); }, "cancelled", "d/ d/a", 0},
        {"file replaced at its look-up", "f g", "f",
         [](auto&) { setLookUpHook(onFirstLookUpOf("f", [](int d) { must(::renameat(d, "g", d, "f") == 0); })); },
         changed, "f", 0},
        {"held for reading", "d/ d/a d/b d/c", "d", holdB<t::Hold::reading>, "held", "d/ d/b d/c", 1},
        {"held for writing", "d/ d/a d/b d/c", "d", holdB<t::Hold::writing>, "held", "d/ d/b d/c", 1},
        {"held only mapped", "d/ d/a d/b d/c", "d", holdB<t::Hold::mapping>, "held", "d/ d/b d/c", 1},
        {"no leases, shown open", "d/ d/a d/b d/c", "d", noLeases<true>, "held", "d/ d/b d/c", 1},
        {"no leases, not shown open", "d/ d/a d/b d/c", "d", noLeases<false>, "no error", "", -1},
    };
    for (const Change& c : changes) {
        const Place p(c.shape);
        RunControl control;
        Node record = inspect(p.fd.get(), c.target, futureCutoff(), p.device);
        const ScopedLookUpHook hook;
        HeldCheck held;
        std::optional<t::RunningProgram> holder;
        c.change(Scene{p, record, control, held, holder});
        std::int64_t removed = 0;
        const auto remove = [&] {
            if (!removeChecked(p.fd.get(), record, removed, &control, held)) throw SafetyError::skip("held");
        };
        EXPECT_EQ(outcome(remove), c.expected) << c.label;
        EXPECT_EQ(tree(p.path), c.left) << c.label;
        std::int64_t counted = c.removed < 0 ? record.bytes : 0;
        for (int i = 0; i < c.removed; ++i) counted += record.children[static_cast<std::size_t>(i)].bytes;
        EXPECT_EQ(removed, counted) << c.label;
    }
}

TEST(RemoveChecked, ReportsWhatTheSystemRefusesAndLeavesItAll) {
    const Place p("file empty/");
    const std::string answer = t::asUserOfItsOwn(
        [&](uid_t uid) { // in a folder its owner may not write
            for (const char* item : {"", "/file", "/empty"}) must(::lchown((p.path + item).c_str(), uid, uid) == 0);
            must(::chmod(p.path.c_str(), 0555) == 0);
        },
        [&] {
            std::int64_t removed = 0;
            std::string result;
            for (const char* name : {"file", "empty"})
                result += outcome([&] { removeChecked(p.fd.get(), recordOf(p.fd.get(), name), removed); }) + "|";
            return result + std::to_string(removed);
        });
    EXPECT_EQ(answer, std::string(text::cannotRemoveFile) + "|" + text::cannotRemoveDirectory + "|0");
    EXPECT_EQ(tree(p.path), "empty/ file");
}

} // namespace
} // namespace quillon::fstest
