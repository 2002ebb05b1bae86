#include "platform/Descriptor.h"
#include "platform/FileIo.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>

// Sizes span several of the reader's pieces, so that a limit applied to one piece only, or a piece appended
// twice, shows.
TEST(FileIo, WritesAllAndReadsAtMostTheLimit) {
    using namespace quillon::platform;
    for (const auto& [size, limit] : {std::pair<std::size_t, std::size_t>{0, 10}, {10, 4}, {200000, 1000000}, {200000, 65537}}) {
        const std::string path = quillon::testing::freshDirectory() + "/file";
        std::string written, read = "left over";
        for (std::size_t i = 0; i < size; ++i) written += static_cast<char>('a' + i % 26);
        const Descriptor out(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600)), in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        EXPECT_EQ(writeAll(out.get(), written), 0);
        EXPECT_EQ(readAtMost(in.get(), limit, read), 0);
        EXPECT_EQ(read, written.substr(0, limit)) << size << " bytes, limit " << limit;
        EXPECT_EQ(readAtMost(out.get(), limit, read), EBADF);
    }
}
