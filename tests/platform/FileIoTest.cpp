#include "platform/Descriptor.h"
#include "platform/FileIo.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>

namespace quillon::platform {
namespace {

std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

// Sizes span several of the pieces the reader works in, so that a limit
// applied to one piece only, or a piece appended twice, shows.
TEST(FileIo, WritesAllAndReadsAtMostTheLimit) {
    struct Case {
        std::size_t size;
        std::size_t limit;
    };
    const Case cases[] = {{0, 10}, {10, 10}, {10, 4}, {200000, 1000000}, {200000, 150000}, {200000, 65537}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " bytes, limit " + std::to_string(c.limit));
        const std::string path = testing::freshDirectory() + "/file";
        const std::string written = pattern(c.size);
        {
            const Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            ASSERT_TRUE(file);
            EXPECT_EQ(writeAll(file.get(), written), 0);
        }
        EXPECT_EQ(testing::readFile(path), written);

        const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(file);
        std::string read = "left over";
        EXPECT_EQ(readAtMost(file.get(), c.limit, read), 0);
        EXPECT_EQ(read, written.substr(0, c.limit));
    }
}

TEST(FileIo, ReturnsTheErrorOfTheFailedCall) {
    const std::string folder = testing::freshDirectory();
    testing::writeFile(folder + "/file", "text");
    const Descriptor readOnly(::open((folder + "/file").c_str(), O_RDONLY | O_CLOEXEC));
    const Descriptor writeOnly(::open((folder + "/file").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    const Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(readOnly && writeOnly && directory);

    std::string bytes;
    EXPECT_EQ(writeAll(readOnly.get(), "more"), EBADF);
    EXPECT_EQ(readAtMost(writeOnly.get(), 10, bytes), EBADF);
    EXPECT_EQ(readAtMost(directory.get(), 10, bytes), EISDIR);
    EXPECT_EQ(testing::readFile(folder + "/file"), "text");
}

} // namespace
} // namespace quillon::platform
