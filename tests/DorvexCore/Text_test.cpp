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

} // namespace
} // namespace dorvex::text
