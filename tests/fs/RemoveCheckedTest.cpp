// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// removeChecked deletes exactly what an inspection recorded, comparing the disk with the record right before each
// single deletion: the first difference or held file stops the whole tree; what went before stays deleted and counted.

#include "tests/fs/FsFixture.h"

#include "fs/Node.h"
#include "fs/RemoveChecked.h"
#include "tests/support/Processes.h"

#include <optional>

namespace quillon::fstest {
namespace {

void move(const Place& p, const char* from, const char* to) { must(::renameat(p.fd.get(), from, p.fd.get(), to) == 0); }

// One change made between the inspection of `target` and its removal: to the disk, to the record ("record ..."), by
// a look-up hook during the removal, by a child process that holds a file, or to how the removal asks about held files.
struct Scene {
    Place p;
    Node record{};
    RunControl control{};
    HeldCheck held{};
    std::optional<t::RunningProgram> holder{};
};
template <t::Hold how> void holdB(Scene& s) { s.holder.emplace(s.p / "d/b", how); }
// The kernel has no lease to give; the picture shows "d/b" open, or nothing.
template <bool shown> void noLeases(Scene& s) {
    s.held.lease = [](int, auto&, auto&) { return platform::FileLease(platform::LeaseAnswer::unknown); };
    s.held.inPicture = [](const std::string& path) { return shown && path == "d/b"; };
}
// Does `action` on the folder of the first look-up of `name`, right after it.
void at(const char* name, std::function<void(int folder)> action) { setLookUpHook(onFirstLookUpOf(name, action)); }
struct Change {
    const char *label, *shape, *target;
    void (*change)(Scene&);
    const char* expected; // the outcome of the removal
    const char* left;     // what is left of the place afterwards
    int removed;          // whose recorded bytes were counted: all (-1), or the first n children
};

TEST(RemoveChecked, KeepsWhateverChangedSinceTheInspection) {
    const auto none = [](auto&) {};
    const char *changed = text::itemChangedDuringCleanup, *dirChanged = text::directoryChanged, *abc = "d/ d/a d/b d/c";
    const Change changes[] = {
        {"unchanged tree", "d/ d/a/ d/a/x d/e/ d/c", "d", none, "no error", "", -1},
        {"file gone", "f", "f", [](auto& s) { move(s.p, "f", "m"); }, changed, "m", 0},
        {"third of five rewritten", "d/ d/a d/b d/c d/d d/e", "d", [](auto& s) { t::writeFile(s.p / "d/c", ""); },
         changed, "d/ d/c d/d d/e", 2},
        {"folder now a link to itself", "d/ d/a", "d", [](auto& s) { replaceAt(s.p.fd.get(), "d", true); }, changed,
         "d d.old/ d.old/a", 0},
        {"record inode", "f", "f", [](auto& s) { s.record.inode += 1; }, changed, "f", 0},
        {"record device", "f", "f", [](auto& s) { s.record.device += 1; }, changed, "f", 0},
        {"record modified", "f", "f", [](auto& s) { s.record.modified.tv_nsec ^= 1; }, changed, "f", 0},
        {"record changed", "f", "f", [](auto& s) { s.record.changed.tv_nsec ^= 1; }, changed, "f", 0},
        {"record of a file, a pipe (no lease to look)", "p| f", "f",
         [](auto& s) { noLeases<false>(s); s.record = recordOf(s.p.fd.get(), "p"); }, changed, "f p", 0},
        {"record without an entry", "d/ d/a d/b", "d", [](auto& s) { s.record.children.pop_back(); }, dirChanged,
         "d/ d/a d/b", 0},
        {"record with another entry", "d/ d/a d/b", "d", [](auto& s) { s.record.children[1].name = "c"; }, dirChanged,
         "d/ d/a d/b", 0},
        {"record named through a link", "d/ d/f l->d", "d",
         [](auto& s) { s.record = recordOf(s.p.fd.get(), "l/f"); }, changed, "d/ d/f l", 0},
        {"another owner", "f", "f", [](auto&) { setLookUpHook(ownedByAnother("f")); }, changed, "f", 0},
        {"cancelled at the look-up", "f", "f", [](auto& s) { at("f", [&c = s.control](int) { c.cancel(); }); },
         "cancelled", "f", 0},
        {"file replaced at its look-up", "f g", "f",
         [](auto&) { at("f", [](int d) { must(::renameat(d, "g", d, "f") == 0); }); }, changed, "f", 0},
        {"folder now a link at its look-up", "d/ d/a", "d", [](auto&) { setLookUpHook(replaceOnLookUpOf("d", true)); },
         text::cannotOpenItem, "d d.old/ d.old/a", 0},
        {"folder swapped at its look-up", "d/ d/a", "d", [](auto&) { setLookUpHook(replaceOnLookUpOf("d", false)); },
         dirChanged, "d.old/ d.old/a d/", 0},
        {"folder swapped before it goes", "d/ d/a", "d",
         [](auto& s) { at("a", [&p = s.p](int) { replaceAt(p.fd.get(), "d", false); }); }, dirChanged, "d.old/ d/", 1},
        {"folder written into before it goes", "d/ d/a", "d",
         [](auto& s) { at("a", [&p = s.p](int) { t::writeFile(p / "d/n", ""); }); }, text::cannotRemoveDirectory,
         "d/ d/n", 1},
        {"file made a folder right before its unlink (no lease to look)", "f", "f", [](auto& s) {
             s.held.lease = [](int d, auto&, auto&) {
                 return must(::unlinkat(d, "f", 0) == 0 && ::mkdirat(d, "f", 0700) == 0), platform::FileLease();
             };
         }, text::cannotRemoveFile, "f/", 0},
        {"held for reading", abc, "d", holdB<t::Hold::reading>, "held", "d/ d/b d/c", 1},
        {"held only mapped", abc, "d", holdB<t::Hold::mapping>, "held", "d/ d/b d/c", 1},
        {"no leases, shown open", abc, "d", noLeases<true>, "held", "d/ d/b d/c", 1},
        {"no leases, not shown open", abc, "d", noLeases<false>, "no error", "", -1},
    };
    for (const Change& c : changes) {
        Scene s{Place(c.shape)};
        s.record = inspect(s.p.fd.get(), c.target, futureCutoff(), s.p.device);
        const ScopedLookUpHook hook;
        c.change(s);
        std::int64_t removed = 0, counted = c.removed < 0 ? s.record.bytes : 0;
        const std::string result = outcome([&] {
            if (!removeChecked(s.p.fd.get(), s.record, removed, &s.control, s.held)) throw SafetyError::skip("held");
        });
        for (int i = 0; i < c.removed; ++i) counted += s.record.children[static_cast<std::size_t>(i)].bytes;
        EXPECT_EQ(std::tuple(result, tree(s.p.path), removed), std::tuple(c.expected, c.left, counted)) << c.label;
    }
}

} // namespace
} // namespace quillon::fstest
