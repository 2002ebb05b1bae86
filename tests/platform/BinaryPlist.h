#pragma once

// Writes binary property lists ("bplist00") byte by byte, so that tests can
// build shapes no ordinary writer produces: deep chains, objects shared many
// times over, references that loop back or point nowhere.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quillon::testing {

class BinaryPlist {
public:
    // Each adder returns the new object's index.
    std::size_t string(const std::string& ascii) { return add(0x50, ascii.size(), ascii, {}); }
    std::size_t unicode(const std::u16string& text) {
        std::string payload;
        for (char16_t unit : text) {
            payload.push_back(static_cast<char>(unit >> 8));
            payload.push_back(static_cast<char>(unit & 0xFF));
        }
        return add(0x60, text.size(), payload, {});
    }
    std::size_t integer(std::uint8_t value) { return add(0x10, 0, std::string(1, static_cast<char>(value)), {}, true); }
    std::size_t array(std::vector<std::uint64_t> references) {
        const std::size_t count = references.size();
        return add(0xA0, count, {}, std::move(references));
    }
    // Keys first, then values, as the format lays them out.
    std::size_t dictionary(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& entries) {
        std::vector<std::uint64_t> references;
        for (const auto& entry : entries) references.push_back(entry.first);
        for (const auto& entry : entries) references.push_back(entry.second);
        return add(0xD0, entries.size(), {}, std::move(references));
    }
    // Reserves an index whose content is filled in later with replace(), so
    // that objects can refer forward or to themselves.
    std::size_t placeholder() { return add(0x50, 0, {}, {}); }
    void replaceWithArray(std::size_t index, std::vector<std::uint64_t> references) {
        objects_[index] = Object{0xA0, references.size(), {}, std::move(references), false};
    }

    // Returns the bytes with `root` as the top object, references and
    // offsets `width` bytes wide.
    std::string bytes(std::uint64_t root, unsigned width = 4) const {
        std::string out = "bplist00";
        std::vector<std::uint64_t> offsets;
        for (const Object& object : objects_) {
            offsets.push_back(out.size());
            if (object.fixed) {
                out.push_back(static_cast<char>(object.marker));
            } else if (object.count < 15) {
                out.push_back(static_cast<char>(object.marker | object.count));
            } else {
                out.push_back(static_cast<char>(object.marker | 0x0F));
                out.push_back(static_cast<char>(0x13)); // an 8-byte count follows
                append(out, object.count, 8);
            }
            out += object.payload;
            for (std::uint64_t reference : object.references) append(out, reference, width);
        }
        const std::uint64_t table = out.size();
        for (std::uint64_t offset : offsets) append(out, offset, width);
        out.append(6, '\0');
        out.push_back(static_cast<char>(width));
        out.push_back(static_cast<char>(width));
        append(out, objects_.size(), 8);
        append(out, root, 8);
        append(out, table, 8);
        return out;
    }

private:
    struct Object {
        unsigned marker;
        std::uint64_t count;
        std::string payload;
        std::vector<std::uint64_t> references;
        bool fixed;
    };

    std::size_t add(unsigned marker, std::uint64_t count, std::string payload, std::vector<std::uint64_t> references,
                    bool fixed = false) {
        objects_.push_back(Object{marker, count, std::move(payload), std::move(references), fixed});
        return objects_.size() - 1;
    }

    static void append(std::string& out, std::uint64_t value, unsigned width) {
        for (unsigned i = width; i > 0; --i) out.push_back(static_cast<char>((value >> (8 * (i - 1))) & 0xFF));
    }

    std::vector<Object> objects_;
};

// A chain of `length` arrays, each holding `fan` references to the next one;
// the last is empty. Its tree has depth `length` and fan^0 + ... +
// fan^(length-1) values.
inline std::string sharedChain(std::size_t length, std::size_t fan) {
    BinaryPlist plist;
    for (std::size_t i = 0; i < length; ++i) plist.placeholder();
    for (std::size_t i = 0; i + 1 < length; ++i)
        plist.replaceWithArray(i, std::vector<std::uint64_t>(fan, static_cast<std::uint64_t>(i + 1)));
    plist.replaceWithArray(length - 1, {});
    return plist.bytes(0);
}

} // namespace quillon::testing
