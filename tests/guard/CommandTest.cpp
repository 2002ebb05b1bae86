#include "guard/Command.h"

#include "core/Errors.h"
#include "platform/PlatformError.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <map>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace t = quillon::testing;
using quillon::CleanCancelled;
using quillon::command;
using quillon::CommandResult;
using quillon::RunControl;

namespace {

CommandResult shell(const std::string& script, const RunControl* control = nullptr) {
    return command("/bin/sh", {"-c", script}, control);
}

} // namespace

TEST(CommandOutput, StandardErrorAloneArrivesInOutput) {
    const CommandResult result = shell("printf 'only on stderr\\n' >&2");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "only on stderr\n");
}

TEST(CommandOutput, BothStreamsArriveInOneTextInWritingOrder) {
    const CommandResult result = shell("echo first; echo second >&2; echo third");
    EXPECT_EQ(result.output, "first\nsecond\nthird\n");
}

TEST(CommandOutput, OutputFarBeyondAPipeBufferArrivesWhole) {
    // Eight MiB is over a hundred pipe buffers; a wait before the read
    // would stall the child forever.
    const std::size_t size = 8u << 20;
    const CommandResult result = shell("head -c " + std::to_string(size) + " /dev/zero | tr '\\000' x; echo end >&2");
    EXPECT_EQ(result.status, 0);
    ASSERT_EQ(result.output.size(), size + 4);
    EXPECT_EQ(result.output.find_first_not_of('x'), size);
    EXPECT_EQ(result.output.substr(size), "end\n");
}

TEST(CommandOutput, IllFormedUtf8BecomesReplacementCharacters) {
    // A stray continuation byte, an invalid lead byte and a truncated sequence.
    const CommandResult result = shell("printf 'a\\200b\\377c\\343\\201'");
    EXPECT_EQ(result.output, "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xEF\xBF\xBD");
}

TEST(CommandStatus, ExitStatusOneIsReturnedNotThrown) {
    const CommandResult result = shell("echo failing; exit 1");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "failing\n");
}

TEST(CommandStatus, ChildKilledBySignalHasNonZeroStatus) {
    const CommandResult result = shell("echo before; kill -TERM $$; echo after");
    EXPECT_NE(result.status, 0);
    EXPECT_EQ(result.status, 128 + 15);
    EXPECT_EQ(result.output, "before\n");
}

TEST(CommandLaunch, MissingExecutableThrowsLaunchErrorNamingThePath) {
    try {
        command("/no/such/tool", {"--version"});
        FAIL() << "expected a launch error";
    } catch (const quillon::platform::PlatformError& error) {
        EXPECT_STREQ(error.what(), "Cannot launch /no/such/tool: No such file or directory");
        EXPECT_EQ(quillon::describe(error), "Cannot launch /no/such/tool: No such file or directory");
    }
}

TEST(CommandLaunch, BareNameIsNotLookedUpInTheSearchPath) {
    EXPECT_THROW(command("sh", {"-c", "true"}), quillon::platform::PlatformError);
}

TEST(CommandLaunch, ArgumentsReachTheChildUnsplitAndUnexpanded) {
    const CommandResult result = command("/bin/sh", {"-c", "printf '[%s]' \"$@\"", "sh", "two words", "$HOME", "*", ""});
    EXPECT_EQ(result.output, "[two words][$HOME][*][]");
}

TEST(CommandDescriptors, ChildHoldsOnlyItsStandardDescriptorsWithOutputAndErrorOnOnePipe) {
    // A descriptor of ours without close-on-exec must not reach the child
    // either, and the pipe's reading end never does. The child lists its
    // own table; the one extra entry is the listing's handle on it.
    const int stray = open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 3);
    const CommandResult result = shell("exec /bin/ls -l /proc/self/fd/");
    close(stray);
    std::map<std::string, std::string> table; // descriptor -> what it refers to
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t arrow = line.find(" -> ");
        if (arrow == std::string::npos) continue;
        const std::string target = line.substr(arrow + 4);
        if (target.rfind("/proc/", 0) == 0 && target.size() > 9 && target.substr(target.size() - 3) == "/fd") continue;
        table[line.substr(line.rfind(' ', arrow - 1) + 1, arrow - line.rfind(' ', arrow - 1) - 1)] = target;
    }
    table.erase("0"); // standard input is inherited as it is
    ASSERT_EQ(table.size(), 2u) << result.output;
    EXPECT_EQ(table["1"].rfind("pipe:[", 0), 0u) << result.output;
    EXPECT_EQ(table["1"], table["2"]) << result.output;
}

TEST(CommandDescriptors, ParentHoldsNoMoreDescriptorsAfterAnyOutcome) {
    const int before = t::openDescriptorCount();
    RunControl cancelled;
    cancelled.cancel();
    shell("echo out; echo err >&2");
    shell("exit 3");
    shell("head -c 300000 /dev/zero");
    EXPECT_ANY_THROW(command("/no/such/tool", {}));
    EXPECT_THROW(shell("true", &cancelled), CleanCancelled);
    EXPECT_EQ(t::openDescriptorCount(), before);
}

TEST(CommandCancellation, CancelledTokenStartsNothing) {
    const std::string marker = t::freshDirectory("cancel") + "/started";
    RunControl control;
    control.cancel();
    EXPECT_THROW(shell("touch '" + marker + "'", &control), CleanCancelled);
    // command() waits for any child it starts, so a started one would
    // have made the marker by now.
    EXPECT_FALSE(t::exists(marker));
}

TEST(CommandCancellation, CancellationWhileChildRunsLetsItFinishThenThrows) {
    const std::string dir = t::freshDirectory("cancel");
    RunControl control;
    std::thread canceller([&] {
        for (int wait = 0; wait < 5000 && !t::exists(dir + "/started"); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        control.cancel();
        t::writeFile(dir + "/release", "");
    });
    const std::string script = "touch started; while [ ! -e release ]; do sleep 0.01; done; echo done > finished";
    EXPECT_THROW(shell("cd '" + dir + "' && " + script, &control), CleanCancelled);
    canceller.join();
    // The child was neither killed nor abandoned: it wrote its last file.
    EXPECT_EQ(t::readFile(dir + "/finished"), "done\n");
}
