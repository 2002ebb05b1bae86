#include "catalog/BuildMetadata.h"
#include "core/Errors.h"
#include "platform/PlatformError.h"
#include "platform/PropertyList.h"
#include "tests/platform/BinaryPlist.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <chrono>
#include <string>

using namespace quillon;
namespace t = quillon::testing;

namespace {

const char* const unreadable = "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
const char* const missingWorkspace = "Missing Xcode workspace metadata; kept";

std::string xmlWith(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" +
           body + "\n</plist>\n";
}

std::string workspaceXml(const std::string& path) {
    return xmlWith("<dict>\n\t<key>WorkspacePath</key>\n\t<string>" + path + "</string>\n</dict>");
}

// The refusal text of checkBuildMetadata: the skip reason, the reader's
// description, or "accepted".
std::string outcome(const std::string& bytes) {
    try {
        checkBuildMetadata(bytes);
        return "accepted";
    } catch (const SafetyError& error) {
        return "skip: " + error.reason();
    } catch (const platform::PlatformError& error) {
        return std::string("reader: ") + error.what();
    }
}

// The binary encoding of an XML list, written by the property-list library.
std::string toBinary(const std::string& xml) {
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
    if (root == nullptr) return {};
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    plist_free(root);
    std::string result(bytes, length);
    std::free(bytes);
    return result;
}

// {WorkspacePath: "/a/B.xcodeproj"} in the binary encoding, byte by byte:
// a one-entry dictionary, its key, its value, the offset table and the
// trailer (one-byte offsets and references, three objects, root 0, table at
// 40).
const std::string handWrittenBinary = std::string("bplist00\xD1\x01\x02", 11) + "\x5DWorkspacePath" +
                                      "\x5E/a/B.xcodeproj" + std::string("\x08\x0B\x19", 3) +
                                      std::string("\0\0\0\0\0\0\x01\x01", 8) + std::string("\0\0\0\0\0\0\0\x03", 8) +
                                      std::string(8, '\0') + std::string("\0\0\0\0\0\0\0\x28", 8);

} // namespace

TEST(BuildMetadata, AcceptsXmlNamingAProjectOrWorkspaceByAbsolutePath) {
    EXPECT_EQ(outcome(workspaceXml("/Users/a/App/App.xcodeproj")), "accepted");
    EXPECT_EQ(outcome(workspaceXml("/nowhere/at/all/Some.xcworkspace")), "accepted");
    EXPECT_EQ(outcome(workspaceXml("/x/App.xcodeproj/")), "accepted");
}

TEST(BuildMetadata, AcceptsTheBinaryEncoding) {
    EXPECT_EQ(outcome(handWrittenBinary), "accepted");
    const std::string written = toBinary(workspaceXml("/w/Project.xcworkspace"));
    ASSERT_EQ(written.substr(0, 8), "bplist00");
    EXPECT_EQ(outcome(written), "accepted");
    EXPECT_EQ(outcome(toBinary(workspaceXml("Project.xcworkspace"))), "skip: " + std::string(missingWorkspace));
}

TEST(BuildMetadata, RefusesWorkspacePathsThatAreNotAbsoluteProjectsOrWorkspaces) {
    const std::string expected = "skip: " + std::string(missingWorkspace);
    EXPECT_EQ(outcome(workspaceXml("App.xcodeproj")), expected);
    EXPECT_EQ(outcome(workspaceXml("~/App.xcodeproj")), expected);
    EXPECT_EQ(outcome(workspaceXml("/a/App.XCODEPROJ")), expected);
    EXPECT_EQ(outcome(workspaceXml("/a/App.Xcworkspace")), expected);
    EXPECT_EQ(outcome(workspaceXml("/a/App.xcodeproj.bak")), expected);
    EXPECT_EQ(outcome(workspaceXml("/a/xcodeproj")), expected);
    EXPECT_EQ(outcome(workspaceXml("")), expected);
}

TEST(BuildMetadata, RefusesListsWithoutATextWorkspacePath) {
    const std::string expected = "skip: " + std::string(missingWorkspace);
    EXPECT_EQ(outcome(xmlWith("<dict><key>WorkspacePath</key><integer>1</integer></dict>")), expected);
    EXPECT_EQ(outcome(xmlWith("<dict><key>WorkspacePath</key><array><string>/a/B.xcodeproj</string></array></dict>")),
              expected);
    EXPECT_EQ(outcome(xmlWith("<dict><key>workspacePath</key><string>/a/B.xcodeproj</string></dict>")), expected);
    EXPECT_EQ(outcome(xmlWith("<dict/>")), expected);
    EXPECT_EQ(outcome(xmlWith("<array><string>/a/B.xcodeproj</string></array>")), expected);
    EXPECT_EQ(outcome(xmlWith("<string>/a/B.xcodeproj</string>")), expected);
}

TEST(BuildMetadata, PassesOnTheReadersErrorForBytesThatAreNotAPropertyList) {
    const std::string expected = std::string("reader: ") + unreadable;
    EXPECT_EQ(outcome("WorkspacePath=/a/B.xcodeproj\n"), expected);
    EXPECT_EQ(outcome(std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)), expected);
    EXPECT_EQ(outcome(xmlWith("<dict><key>WorkspacePath</key><string>/a/B.xcodeproj</string>")), expected);
    EXPECT_EQ(outcome(""), expected);
    EXPECT_EQ(outcome(handWrittenBinary.substr(0, handWrittenBinary.size() - 1)), expected);
}

TEST(BuildMetadata, RefusesDeepXmlNestingAsUnreadableWithoutRecursing) {
    std::string deep = "<plist>";
    for (int i = 0; i < 100000; ++i) deep += "<array>";
    for (int i = 0; i < 100000; ++i) deep += "</array>";
    deep += "</plist>";
    EXPECT_EQ(outcome(deep), std::string("reader: ") + unreadable);
}

TEST(BuildMetadata, RefusesDeepBinaryNestingAsUnreadableWithoutRecursing) {
    EXPECT_EQ(outcome(t::sharedChain(100000, 1)), std::string("reader: ") + unreadable);
}

TEST(BuildMetadata, RefusesExponentiallySharedBinaryObjectsQuickly) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome(t::sharedChain(40, 2)), std::string("reader: ") + unreadable);
    EXPECT_EQ(outcome(t::sharedChain(30, 15)), std::string("reader: ") + unreadable);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(BuildMetadata, RefusesBinaryObjectsThatContainThemselves) {
    t::BinaryPlist plist;
    const std::size_t key = plist.string("WorkspacePath");
    const std::size_t loop = plist.placeholder();
    plist.replaceWithArray(loop, {loop});
    const std::size_t top = plist.dictionary({{key, loop}});
    EXPECT_EQ(outcome(plist.bytes(top)), std::string("reader: ") + unreadable);
}

TEST(BuildMetadata, ReadsABinaryKeyWithAnEmbeddedZeroWithoutAborting) {
    // The library asserts when asked for the text of such a key; the check
    // must never ask for it.
    t::BinaryPlist plist;
    const std::size_t key = plist.unicode(std::u16string(u"W\0x", 3));
    const std::size_t value = plist.string("/a/B.xcodeproj");
    const std::size_t top = plist.dictionary({{key, value}});
    EXPECT_EQ(outcome(plist.bytes(top)), "skip: " + std::string(missingWorkspace));
}
