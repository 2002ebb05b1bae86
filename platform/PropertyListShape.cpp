// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/PropertyListShape.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <utility>
#include <vector>

namespace quillon::platform {

namespace {

// ---------------------------------------------------------------------------
// Binary encoding. The walk follows the reader's rules for locating objects
// and references exactly, so that every object the reader would descend into
// is measured; a leaf is not decoded at all, because the reader cannot nest
// anything inside it.

class BinaryMeasure {
public:
    explicit BinaryMeasure(std::string_view bytes) : bytes_(bytes) {}

    PropertyListShape run() {
        PropertyListShape shape;
        if (!readTrailer()) {
            shape.malformed = true;
            return shape;
        }
        walk(shape);
        return shape;
    }

private:
    static constexpr std::uint64_t trailerSize = 32;
    static constexpr std::uint64_t headerSize = 8;

    // An object being measured: its references and what its children added.
    struct Frame {
        std::uint64_t object = 0;
        std::uint64_t referencesAt = 0; // offset of the first reference
        std::uint64_t count = 0;        // entries (a dictionary's pairs)
        bool dictionary = false;
        std::uint64_t next = 0;         // next child, 0 .. count or 2 * count
        std::uint64_t childDepth = 0;
        std::uint64_t values = 1;
    };

    enum class State : std::uint8_t { unseen, open, done };

    // Big-endian unsigned of `width` bytes at `at`; a width above eight
    // counts only its last eight bytes, as the reader does.
    std::uint64_t number(std::uint64_t at, std::uint64_t width) const {
        if (width > 8) {
            at += width - 8;
            width = 8;
        }
        std::uint64_t value = 0;
        for (std::uint64_t i = 0; i < width; ++i)
            value = (value << 8) | static_cast<unsigned char>(bytes_[static_cast<std::size_t>(at + i)]);
        return value;
    }

    bool readTrailer() {
        const std::uint64_t length = bytes_.size();
        if (length < headerSize + trailerSize) return false;
        const std::uint64_t trailer = length - trailerSize;
        offsetSize_ = static_cast<unsigned char>(bytes_[static_cast<std::size_t>(trailer + 6)]);
        referenceSize_ = static_cast<unsigned char>(bytes_[static_cast<std::size_t>(trailer + 7)]);
        objectCount_ = number(trailer + 8, 8);
        root_ = number(trailer + 16, 8);
        offsetTable_ = number(trailer + 24, 8);
        if (offsetTable_ > trailer || objectCount_ == 0 || offsetSize_ == 0 || referenceSize_ == 0) return false;
        if (root_ >= objectCount_ || offsetTable_ < headerSize || offsetTable_ >= trailer) return false;
        // The offset table must fit between its start and the trailer.
        if (objectCount_ > (trailer - offsetTable_) / offsetSize_) return false;
        return true;
    }

    // Locates `object`; false when the reader would refuse its offset. (The
    // reader accepts an offset inside the header, so this does too.)
    bool locate(std::uint64_t object, std::uint64_t& at) const {
        at = number(offsetTable_ + object * offsetSize_, offsetSize_);
        return at < offsetTable_;
    }

    // Fills `frame` for the object at `at`. Returns false when the reader
    // would refuse the object's header; a leaf gets count 0.
    bool open(std::uint64_t at, Frame& frame) const {
        const auto marker = static_cast<unsigned char>(bytes_[static_cast<std::size_t>(at)]);
        const unsigned type = marker & 0xF0u;
        const bool array = type == 0xA0u || type == 0xC0u; // sets read as arrays
        frame.dictionary = type == 0xD0u;
        if (!array && !frame.dictionary) return true;
        std::uint64_t count = marker & 0x0Fu;
        std::uint64_t position = at + 1;
        if (count == 0x0F) {
            // The count follows as an integer object of 2^n bytes.
            const auto sizeMarker = static_cast<unsigned char>(bytes_[static_cast<std::size_t>(position)]);
            if ((sizeMarker & 0xF0u) != 0x10u) return false;
            ++position;
            const std::uint64_t width = std::uint64_t{1} << (sizeMarker & 0x0Fu);
            if (position + width > offsetTable_) return false;
            count = number(position, width);
            position += width;
        }
        if (count > offsetTable_ - position) return false;
        frame.count = count;
        frame.referencesAt = position;
        return true;
    }

    // The object named by child `index` of `frame`; false when the reader
    // would refuse the reference.
    bool child(const Frame& frame, std::uint64_t index, std::uint64_t& object) const {
        std::uint64_t slot = index;
        if (frame.dictionary) slot = (index % 2 == 0) ? index / 2 : index / 2 + frame.count; // key, then value
        const std::uint64_t at = frame.referencesAt + slot * referenceSize_;
        if (at + referenceSize_ > offsetTable_) return false;
        object = number(at, referenceSize_);
        return object < objectCount_;
    }

    // Measures the graph from the root with an explicit stack, in the
    // reader's order, decoding each object once. `built` is what the reader
    // would have created at the same point of its own walk (a shared object
    // counts at each use), so a walk that stops early, for whatever reason,
    // has already seen everything the reader would build before stopping.
    // A few lines over sixty on purpose: the stack, the three per-object
    // tables and the count are shared by every step of the one loop, and
    // spread over several functions the walk could no longer be checked
    // against the reader's in one reading.
    void walk(PropertyListShape& shape) {
        const auto count = static_cast<std::size_t>(objectCount_);
        std::vector<State> state(count, State::unseen);
        std::vector<std::uint64_t> depthOf(count, 0);
        std::vector<std::uint64_t> valuesOf(count, 0);
        std::vector<Frame> stack;
        std::uint64_t built = 0;

        auto over = [&] { return stack.size() > maxPropertyListDepth || built > maxPropertyListValues; };
        auto stop = [&] {
            shape.depth = std::max<std::uint64_t>(shape.depth, stack.size());
            shape.values = built;
        };
        // Starts measuring `object`; false when the reader would refuse it.
        auto enter = [&](std::uint64_t object) {
            std::uint64_t at = 0;
            Frame frame;
            frame.object = object;
            if (!locate(object, at) || !open(at, frame)) return false;
            state[static_cast<std::size_t>(object)] = State::open;
            stack.push_back(frame);
            ++built;
            return true;
        };

        if (!enter(root_)) {
            shape.malformed = true;
            return;
        }
        while (!stack.empty()) {
            if (over()) return stop();
            Frame& top = stack.back();
            const std::uint64_t children = top.dictionary ? top.count * 2 : top.count;
            if (top.next < children) {
                std::uint64_t object = 0;
                const bool valid = child(top, top.next++, object);
                const auto index = static_cast<std::size_t>(object);
                if (!valid || state[index] == State::open || (state[index] == State::unseen && !enter(object))) {
                    // A reference out of range, an object inside itself, or
                    // an object the reader cannot locate: it gives up here.
                    shape.malformed = true;
                    return stop();
                }
                if (state[index] == State::done) {
                    top.childDepth = std::max(top.childDepth, depthOf[index]);
                    top.values += valuesOf[index];
                    built += valuesOf[index];
                }
                continue;
            }
            const Frame finished = top;
            stack.pop_back();
            const auto index = static_cast<std::size_t>(finished.object);
            state[index] = State::done;
            depthOf[index] = finished.childDepth + 1;
            valuesOf[index] = finished.values;
            shape.depth = std::max(shape.depth, depthOf[index]);
            if (stack.empty()) break;
            stack.back().childDepth = std::max(stack.back().childDepth, depthOf[index]);
            stack.back().values += finished.values;
        }
        shape.values = built;
    }

    std::string_view bytes_;
    std::uint64_t offsetSize_ = 0;
    std::uint64_t referenceSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t root_ = 0;
    std::uint64_t offsetTable_ = 0;
};

} // namespace

PropertyListShape measureBinaryPropertyList(std::string_view bytes) { return BinaryMeasure(bytes).run(); }

PropertyListShape measurePropertyListTree(plist_t root) {
    PropertyListShape shape;
    std::vector<std::pair<plist_t, std::uint64_t>> pending{{root, 1}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        ++shape.values;
        shape.depth = std::max(shape.depth, depth);
        if (plist_get_node_type(node) == PLIST_ARRAY) {
            const std::uint32_t count = plist_array_get_size(node);
            for (std::uint32_t i = 0; i < count; ++i) pending.emplace_back(plist_array_get_item(node, i), depth + 1);
        } else if (plist_get_node_type(node) == PLIST_DICT) {
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            for (;;) {
                // No key text is asked for: the library asserts on a key
                // whose length disagrees with its C string (an embedded zero).
                plist_t value = nullptr;
                plist_dict_next_item(node, iterator, nullptr, &value);
                if (value == nullptr) break;
                ++shape.values; // the key
                pending.emplace_back(value, depth + 1);
            }
            std::free(iterator);
        }
    }
    return shape;
}

} // namespace quillon::platform
