#include "DorvexCore/Text.h"

#include <memory>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace dorvex::text {
namespace {

icu::UnicodeString fromUtf8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

bool isTrimmable(UChar32 c) {
    // u_isUWhiteSpace covers the Unicode White_Space property, which holds every line end
    // and separator as well as the spaces.
    return c >= 0 && u_isUWhiteSpace(c);
}

} // namespace

std::string trimWhitespaceAndNewlines(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        UChar32 c;
        U8_NEXT(bytes, next, length, c);
        if (!isTrimmable(c)) break;
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        UChar32 c;
        U8_PREV(bytes, start, previous, c);
        if (!isTrimmable(c)) break;
        end = previous;
    }
    return std::string(text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
}

std::string lowercased(std::string_view text) {
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    if (unicode.indexOf(static_cast<UChar>(0xFFFD)) >= 0 &&
        text.find("\xEF\xBF\xBD") == std::string_view::npos) {
        return std::string(text); // invalid UTF-8: leave it alone rather than corrupt it
    }
    std::string out;
    unicode.toLower(icu::Locale::getRoot()).toUTF8String(out);
    return out;
}

bool containsIgnoringCase(std::string_view text, std::string_view fragment) {
    if (fragment.empty()) return true; // ICU finds no empty string, but every text holds one
    icu::UnicodeString folded = fromUtf8(text).foldCase(U_FOLD_CASE_DEFAULT);
    icu::UnicodeString foldedFragment = fromUtf8(fragment).foldCase(U_FOLD_CASE_DEFAULT);
    return folded.indexOf(foldedFragment) >= 0;
}

size_t characterCount(std::string_view text) {
    icu::UnicodeString unicode = fromUtf8(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !characters) return static_cast<size_t>(unicode.countChar32());
    characters->setText(unicode);
    size_t count = 0;
    for (int32_t at = characters->next(); at != icu::BreakIterator::DONE; at = characters->next()) {
        ++count;
    }
    return count;
}

std::u16string utf16(std::string_view text) {
    icu::UnicodeString unicode = fromUtf8(text);
    if (unicode.isBogus()) return {};
    return std::u16string(unicode.getBuffer(), static_cast<size_t>(unicode.length()));
}

} // namespace dorvex::text
