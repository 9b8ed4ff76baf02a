#include "DorvexCore/Text.h"

#include <gtest/gtest.h>

namespace dorvex::text {
namespace {

TEST(Text, TrimsUnicodeWhitespaceAndLineEnds) {
    struct Case {
        const char* input;
        const char* expected;
    } cases[] = {
        {"  a b  ", "a b"},
        {"\t\r\n x \r\n", "x"},
        {"\xC2\xA0x\xE2\x80\xA8", "x"},           // no-break space, line separator
        {"\xE3\x80\x80wide\xE2\x80\x83", "wide"}, // ideographic space, em space
        {"   ", ""},
        {"", ""},
        {"\xFF x \xFF", "\xFF x \xFF"}, // invalid UTF-8 stops the trim
    };
    for (const Case& c : cases)
        EXPECT_EQ(trimWhitespaceAndNewlines(c.input), c.expected) << c.input;
}

TEST(Text, LowercasesBeyondAscii) {
    EXPECT_EQ(lowercased("TRUE"), "true");
    EXPECT_EQ(lowercased("\xC3\x84PFEL"), "\xC3\xA4pfel"); // ÄPFEL
    EXPECT_EQ(lowercased("\xFF"), "\xFF");
}

TEST(Text, ContainsIgnoringCaseFoldsFullyBeyondAscii) {
    struct Case {
        const char* text;
        const char* fragment;
        bool expected;
    } cases[] = {
        {"AXSecureTextField", "field", true},
        {"AXSearchField", "FIELD", true},
        {"AXButton", "field", false},
        {"STRASSE",
         "stra\xC3\x9F"
         "e",
         true}, // sharp s folds to "ss"
        {"Stra\xC3\x9F"
         "e",
         "STRASSE", true},
        {"\xCE\xA3\xCE\x8A\xCE\xA3\xCE\xA5\xCE\xA6\xCE\x9F\xCE\xA3",        // ΣΊΣΥΦΟΣ
         "\xCF\x83\xCE\xAF\xCF\x83\xCF\x85\xCF\x86\xCE\xBF\xCF\x82", true}, // σίσυφος
        {"\xC3\x84PFEL", "\xC3\xA4pf", true},                               // ÄPFEL, äpf
        {"Apfel", "\xC3\xA4pf", false},
        {"Save", "", true},
        {"", "a", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(containsIgnoringCase(c.text, c.fragment), c.expected)
            << c.text << " / " << c.fragment;
    }
}

TEST(Text, CountsUserPerceivedCharacters) {
    struct Case {
        const char* text;
        size_t expected;
    } cases[] = {
        {"", 0},
        {"abc", 3},
        {"\xC3\xA9", 1},                         // precomposed e-acute
        {"e\xCC\x81", 1},                        // e and a combining accent
        {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 1}, // thumbs up, skin tone
        {"\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 1}, // family
        {"\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", 2}, // two flags
        {"\r\n", 1},
        {"\xE4\xBD\xA0\xE5\xA5\xBD", 2}, // two CJK ideographs
    };
    for (const Case& c : cases)
        EXPECT_EQ(characterCount(c.text), c.expected) << c.text;
}

} // namespace
} // namespace dorvex::text
