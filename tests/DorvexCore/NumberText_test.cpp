// Shortest number text: the same characters as the C++ library's floating-point to_chars,
// which this host has, over edge cases and a spread of bit patterns.
#include "DorvexCore/NumberText.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace dorvex {
namespace {

std::string libraryText(double value) {
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end);
}

TEST(NumberText, EdgeCasesReadAsTheLibraryWritesThem) {
    const double cases[] = {0.0,
                            -0.0,
                            0.5,
                            -0.5,
                            0.1,
                            1.0 / 3,
                            2.0 / 3,
                            1e-4,
                            1e-5,
                            0.0001234,
                            123.456,
                            1e15,
                            1e16,
                            1e21,
                            1e22,
                            1.5e300,
                            9.007199254740993e15,
                            123456789012345680000.0,
                            5e-324,
                            std::numeric_limits<double>::min(),
                            std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::lowest(),
                            100,
                            1000000,
                            1.25e-7};
    for (double value : cases) {
        EXPECT_EQ(shortestNumberText(value), libraryText(value)) << libraryText(value);
    }
}

TEST(NumberText, NonFiniteValuesAreNamed) {
    EXPECT_EQ(shortestNumberText(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(shortestNumberText(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(shortestNumberText(std::numeric_limits<double>::quiet_NaN()), "nan");
}

TEST(NumberText, ASpreadOfDoublesReadsAsTheLibraryWritesThem) {
    std::mt19937_64 bits(20261210);
    int mismatches = 0;
    for (int i = 0; i < 20000; ++i) {
        const double value = std::bit_cast<double>(bits());
        if (!std::isfinite(value)) continue;
        if (shortestNumberText(value) != libraryText(value) && ++mismatches <= 5) {
            ADD_FAILURE() << shortestNumberText(value) << " vs " << libraryText(value);
        }
    }
    // And ordinary magnitudes: fractions of screen coordinates and sizes.
    std::uniform_real_distribution<double> ordinary(-1e6, 1e6);
    for (int i = 0; i < 20000; ++i) {
        const double value = ordinary(bits);
        if (shortestNumberText(value) != libraryText(value) && ++mismatches <= 10) {
            ADD_FAILURE() << shortestNumberText(value) << " vs " << libraryText(value);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

} // namespace
} // namespace dorvex
