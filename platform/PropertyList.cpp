// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/PropertyList.h"

#include "platform/PlatformError.h"
#include "platform/PropertyListShape.h"

#include <plist/plist.h>

#include <pthread.h>

#include <new>

namespace quillon::platform {

namespace {

const char* const unreadable = "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
const char* const cannotStart = "Cannot start the property-list reader";

// Freeing an XML tree takes about 48 bytes of stack a level, and a list of
// maxPropertyListBytes nests at most 149,796 deep ("<array>" is 7 bytes), so
// 7 MiB; the reader's stack leaves room for frames seven times as large. It
// is mapped, not committed: only the depth actually reached costs memory.
constexpr std::size_t readerStackBytes = std::size_t{48} << 20;
constexpr std::size_t readerGuardBytes = std::size_t{64} << 10;

struct ParseJob {
    const std::string& bytes;
    plist_t node = nullptr; // the tree, when it was read and is within the limits
};

void* parseAndMeasure(void* argument) {
    auto& job = *static_cast<ParseJob*>(argument);
    plist_from_memory(job.bytes.data(), static_cast<uint32_t>(job.bytes.size()), &job.node);
    if (job.node == nullptr) return nullptr;
    bool acceptable = false;
    try {
        acceptable = measurePropertyListTree(job.node).acceptable();
    } catch (const std::bad_alloc&) {
    }
    if (!acceptable) {
        plist_free(job.node); // the deep recursion, on this thread's stack
        job.node = nullptr;
    }
    return nullptr;
}

// Runs `job` on a thread with a stack of readerStackBytes and a guard band
// below it, and waits for it to end.
void parseOnReaderStack(ParseJob& job) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) throw PlatformError(cannotStart);
    int error = pthread_attr_setstacksize(&attributes, readerStackBytes);
    if (error == 0) error = pthread_attr_setguardsize(&attributes, readerGuardBytes);
    pthread_t thread;
    if (error == 0) error = pthread_create(&thread, &attributes, parseAndMeasure, &job);
    pthread_attr_destroy(&attributes);
    if (error != 0) throw PlatformError(cannotStart);
    pthread_join(thread, nullptr);
}

} // namespace

struct PropertyList::Root {
    plist_t node = nullptr;
    ~Root() {
        if (node) plist_free(node);
    }
};

PropertyList::PropertyList(std::unique_ptr<Root> root) : root_(std::move(root)) {}
PropertyList::~PropertyList() = default;
PropertyList::PropertyList(PropertyList&&) noexcept = default;
PropertyList& PropertyList::operator=(PropertyList&&) noexcept = default;

PropertyList PropertyList::parse(const std::string& bytes) {
    if (bytes.empty() || bytes.size() > maxPropertyListBytes) throw PlatformError(unreadable);
    // A binary list is measured before the library sees it, an XML list
    // after: PropertyListShape.h says why.
    if (plist_is_binary(bytes.data(), static_cast<uint32_t>(bytes.size())) &&
        !measureBinaryPropertyList(bytes).acceptable())
        throw PlatformError(unreadable);
    auto root = std::make_unique<Root>();
    ParseJob job{bytes};
    parseOnReaderStack(job);
    root->node = job.node;
    if (root->node == nullptr) throw PlatformError(unreadable);
    return PropertyList(std::move(root));
}

bool PropertyList::isDictionary() const { return root_ && plist_get_node_type(root_->node) == PLIST_DICT; }

std::size_t PropertyList::dictionarySize() const { return isDictionary() ? plist_dict_get_size(root_->node) : 0; }

bool PropertyList::hasKey(const std::string& key) const {
    return isDictionary() && plist_dict_get_item(root_->node, key.c_str()) != nullptr;
}

std::optional<std::string> PropertyList::textForKey(const std::string& key) const {
    if (!isDictionary()) return std::nullopt;
    plist_t item = plist_dict_get_item(root_->node, key.c_str());
    if (item == nullptr || plist_get_node_type(item) != PLIST_STRING) return std::nullopt;
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(item, &length);
    if (text == nullptr) return std::nullopt;
    return std::string(text, static_cast<std::size_t>(length));
}

std::string xmlPropertyList(const std::map<std::string, std::string>& dictionary) {
    plist_t dict = plist_new_dict();
    for (const auto& [key, value] : dictionary) plist_dict_set_item(dict, key.c_str(), plist_new_string(value.c_str()));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(dict, &xml, &length);
    plist_free(dict);
    if (xml == nullptr) throw PlatformError("Cannot write property list");
    std::string result(xml, length);
    plist_to_xml_free(xml);
    return result;
}

} // namespace quillon::platform
