#include "platform/PropertyList.h"

#include "platform/PlatformError.h"
#include "platform/PropertyListShape.h"

#include <plist/plist.h>

#include <limits>

namespace quillon::platform {

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
    const std::string unreadable = "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) throw PlatformError(unreadable);
    // libplist recurses and copies shared binary objects at each use: bytes
    // that would make it run out of stack or memory never reach it.
    if (!measurePropertyList(bytes).acceptable()) throw PlatformError(unreadable);
    auto root = std::make_unique<Root>();
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root->node);
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
