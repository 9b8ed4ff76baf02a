#pragma once

// Compact JSON text, written byte for byte as the JSON library's own `dump()` writes it, but
// without its per-byte cost: runs of text that need no escaping are copied at once. Answers
// are written through it, so the wire never depends on which of the two wrote a line.
#include "platform/types/Json.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace dorvex::JsonText {

// Binary values of this subtype are JSON text already serialized, written as they are; no
// answer holds binary values otherwise.
inline constexpr std::uint64_t rawTextSubtype = 0x72;

// A quoted string with its escapes (out of line). Throws the JSON library's own error for text
// that is not UTF-8.
void appendEscapedString(std::string& out, std::string_view text);

// A quoted, escaped string; printable ASCII without quote or backslash, the common case, is
// copied at once. Throws as `appendEscapedString` does.
inline void appendString(std::string& out, std::string_view text) {
    for (char c : text) {
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            appendEscapedString(out, text);
            return;
        }
    }
    out += '"';
    out += text;
    out += '"';
}
void appendNumber(std::string& out, int64_t value);
void appendNumber(std::string& out, double value);
// Any value; raw text (see above) verbatim. Throws as `appendString` does.
void append(std::string& out, const Json& value);

} // namespace dorvex::JsonText
