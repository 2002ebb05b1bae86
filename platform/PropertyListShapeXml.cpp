#include "platform/PropertyListShape.h"

#include <algorithm>
#include <cstddef>

namespace quillon::platform {

namespace {

// Measures an XML property list by walking it the way the reader's own
// scanner does: the same rules for tags, quotes, comments, processing
// instructions, DOCTYPE and text content. Where the reader would stop with an
// error this walk stops too; where the reader would go on after a mistake
// that it only reports later, this walk goes on as well, so that it never
// sees less nesting than the reader builds.
class XmlMeasure {
public:
    explicit XmlMeasure(std::string_view bytes) : bytes_(bytes), end_(static_cast<std::ptrdiff_t>(bytes.size())) {}

    PropertyListShape run() {
        while (pos_ < end_) {
            skipSpace();
            if (pos_ >= end_) break;
            if (at(pos_) != '<') break;
            ++pos_;
            if (pos_ >= end_) break;
            if (at(pos_) == '?') {
                if (!skipProcessingInstruction()) break;
            } else if (at(pos_) == '!') {
                if (!skipDeclaration()) break;
            } else if (!element()) {
                break;
            }
            if (shape_.depth > maxPropertyListDepth || shape_.values > maxPropertyListValues) break;
        }
        return shape_;
    }

private:
    char at(std::ptrdiff_t position) const { return bytes_[static_cast<std::size_t>(position)]; }

    bool startsWith(std::ptrdiff_t position, std::string_view text) const {
        if (position < 0 || position + static_cast<std::ptrdiff_t>(text.size()) > end_) return false;
        return bytes_.substr(static_cast<std::size_t>(position), text.size()) == text;
    }

    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    void skipSpace() {
        while (pos_ < end_ && isSpace(at(pos_))) ++pos_;
    }

    // Moves to the next `c`; a double-quoted run is passed over whole when
    // `skipQuotes` is set.
    void findChar(char c, bool skipQuotes) {
        while (pos_ < end_ && at(pos_) != c) {
            if (skipQuotes && c != '"' && at(pos_) == '"') {
                ++pos_;
                findChar('"', false);
                if (pos_ >= end_) return;
            }
            ++pos_;
        }
    }

    // Moves to the next occurrence of `text`, looking no further than
    // text.size() bytes before the end, as the reader does.
    void findText(std::string_view text, bool skipQuotes) {
        const auto length = static_cast<std::ptrdiff_t>(text.size());
        while (pos_ < end_ - length) {
            if (startsWith(pos_, text)) break;
            if (skipQuotes && at(pos_) == '"') {
                ++pos_;
                findChar('"', false);
                if (pos_ >= end_) return;
            }
            ++pos_;
        }
    }

    // Moves to the next byte that is one of `stops`.
    void findNext(std::string_view stops, bool skipQuotes) {
        while (pos_ < end_) {
            if (skipQuotes && at(pos_) == '"') {
                ++pos_;
                findChar('"', false);
                if (pos_ >= end_) return;
            }
            if (stops.find(at(pos_)) != std::string_view::npos) return;
            ++pos_;
        }
    }

    // "<?" ... "?>", quotes honoured; pos_ is on the "?".
    bool skipProcessingInstruction() {
        findText("?>", true);
        if (pos_ > end_ - 2 || !startsWith(pos_, "?>")) return false;
        pos_ += 2;
        return true;
    }

    // "<!--" ... "-->" or "<!DOCTYPE" ... with an optional "[" ... "]>";
    // pos_ is on the "!".
    bool skipDeclaration() {
        if (end_ - pos_ > 3 && startsWith(pos_, "!--")) {
            pos_ += 3;
            findText("-->", false);
            if (pos_ > end_ - 3 || !startsWith(pos_, "-->")) return false;
            pos_ += 3;
            return true;
        }
        if (!(end_ - pos_ > 8 && startsWith(pos_, "!DOCTYPE"))) return false;
        pos_ += 8;
        bool embedded = false;
        while (pos_ < end_) {
            findNext(" \t\r\n[>", true);
            if (pos_ >= end_) return false;
            if (at(pos_) == '[') {
                embedded = true;
                break;
            }
            if (at(pos_) == '>') {
                ++pos_;
                break;
            }
            skipSpace();
        }
        if (embedded) {
            findText("]>", true);
            if (pos_ > end_ - 2 || !startsWith(pos_, "]>")) return false;
            pos_ += 2;
        }
        return true;
    }

    // The text content of a non-empty element up to and including its
    // closing tag, comments and CDATA sections allowed inside. `rawName` is
    // the name as written (the reader compares the closing tag against it as
    // a C string of that length).
    bool textContent(std::string_view rawName, bool skipLeadingSpace) {
        if (skipLeadingSpace) skipSpace();
        for (;;) {
            findChar('<', false);
            if (pos_ >= end_ || at(pos_) != '<') return false;
            ++pos_;
            if (pos_ >= end_) return false;
            if (at(pos_) == '/') break;
            if (at(pos_) != '!') return false;
            ++pos_;
            if (pos_ >= end_ - 1) return false;
            if (at(pos_) == '-' && at(pos_ + 1) == '-') {
                pos_ += 2;
                findText("-->", false);
                if (pos_ > end_ - 3 || !startsWith(pos_, "-->")) return false;
                pos_ += 3;
            } else if (at(pos_) == '[') {
                ++pos_;
                if (pos_ >= end_ - 8) return false;
                if (!startsWith(pos_, "CDATA[")) return false;
                pos_ += 6;
                findText("]]>", false);
                if (pos_ > end_ - 3 || !startsWith(pos_, "]]>")) return false;
                pos_ += 3;
            } else {
                return false;
            }
        }
        ++pos_;
        const auto length = static_cast<std::ptrdiff_t>(rawName.size());
        if (pos_ >= end_ - length) return false;
        // The reader's copy of the name ends at its first zero byte and is
        // padded with zeros; its comparison ends at the first zero.
        const std::string_view copied = rawName.substr(0, rawName.find('\0'));
        for (std::size_t i = 0; i < rawName.size(); ++i) {
            const char expected = i < copied.size() ? copied[i] : '\0';
            if (at(pos_ + static_cast<std::ptrdiff_t>(i)) != expected) return false;
            if (expected == '\0') break;
        }
        pos_ += length;
        skipSpace();
        if (pos_ >= end_ || at(pos_) != '>') return false;
        ++pos_;
        return true;
    }

    // One tag; pos_ is just after its "<". Returns false where the reader
    // would stop.
    bool element() {
        const std::ptrdiff_t start = pos_;
        findNext(" \r\n\t<>", false);
        if (pos_ >= end_) return false;
        const std::string_view rawName = bytes_.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(pos_ - start));
        if (at(pos_) != '>') findNext("<>", true);
        if (pos_ >= end_ || at(pos_) != '>') return false;
        std::string_view name = rawName.substr(0, rawName.find('\0'));
        bool empty = false;
        if (at(pos_ - 1) == '/') {
            const auto slash = static_cast<std::size_t>(pos_ - start - 1);
            if (slash < name.size()) name = name.substr(0, slash);
            empty = true;
        }
        ++pos_;

        if (name == "plist" || name == "/plist") return true;
        if (!name.empty() && name.front() == '/') {
            if ((name == "/array" || name == "/dict") && open_ > 0) --open_;
            return true;
        }
        const bool container = name == "array" || name == "dict";
        const bool text = name == "integer" || name == "real" || name == "true" || name == "false" ||
                          name == "string" || name == "key" || name == "data" || name == "date";
        if (!container && !text) return false;

        shape_.values += 1;
        shape_.depth = std::max(shape_.depth, underRoot_ + open_ + 1);
        // The reader adds everything after the first value to it when it is
        // a container, even an empty one that was never opened.
        if (first_ && container && empty) underRoot_ = 1;
        first_ = false;
        if (container) {
            if (!empty) ++open_;
            return true;
        }
        if (empty) return true;
        const bool keepsLeadingSpace = name == "string" || name == "key";
        return textContent(rawName, !keepsLeadingSpace);
    }

    std::string_view bytes_;
    std::ptrdiff_t pos_ = 0;
    std::ptrdiff_t end_ = 0;
    std::uint64_t open_ = 0;      // arrays and dictionaries open at pos_
    std::uint64_t underRoot_ = 0; // 1 once values go into an empty top container
    bool first_ = true;           // no value seen yet
    PropertyListShape shape_;
};

} // namespace

PropertyListShape measureXmlPropertyList(std::string_view bytes) { return XmlMeasure(bytes).run(); }

} // namespace quillon::platform
