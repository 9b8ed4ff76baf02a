#include "DorvexCore/ScreenCapture.h"
#include "DorvexCore/Uuid.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>

namespace dorvex::ScreenCapture {
namespace {

TEST(ScreenCapture, DirectoryIsUnderTmpdirOrTmp) {
    struct Case {
        const char* tmpdir;
        const char* expected;
    } cases[] = {
        {"/var/folders/xy/T/", "/var/folders/xy/T/nubo-desktop-captures"},
        {"/home/me/tmp", "/home/me/tmp/nubo-desktop-captures"},
        {nullptr, "/tmp/nubo-desktop-captures"},
        {"", "/tmp/nubo-desktop-captures"},
        {"scratch", "/work/dir/scratch/nubo-desktop-captures"},
        {"./scratch/../t", "/work/dir/t/nubo-desktop-captures"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(captureDirectory(c.tmpdir, "/work/dir"), c.expected)
            << (c.tmpdir ? c.tmpdir : "(unset)");
    }
}

TEST(ScreenCapture, FileNameTakesTheMillisecondsAndEightUuidCharacters) {
    EXPECT_EQ(fileName(1765324800123, "0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2D3"),
              "capture-1765324800123-0A1B2C3D.png");
    EXPECT_EQ(fileName(0, "ABCDEF01-0000"), "capture-0-ABCDEF01.png");
    const std::regex pattern("capture-[0-9]+-[0-9A-F]{8}\\.png");
    EXPECT_TRUE(std::regex_match(fileName(1765324800123, uuid::newUpper()), pattern));
}

TEST(ScreenCapture, WindowNumbersAreUnsigned32Bit) {
    struct Case {
        int64_t id;
        std::optional<uint32_t> expected;
    } cases[] = {
        {0, 0u},
        {42, 42u},
        {4294967295LL, 4294967295u},
        {4294967296LL, std::nullopt},
        {4294967296LL + 42, std::nullopt},
        {-1, std::nullopt},
        {INT64_MIN, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(windowNumber(c.id), c.expected) << c.id;
}

TEST(ScreenCapture, ReadsTheWindowServerRectangleDictionary) {
    struct Case {
        const char* json;
        std::optional<platform::Rect> expected;
    } cases[] = {
        {R"({"X":1,"Y":-2.5,"Width":300,"Height":200})", platform::Rect{1, -2.5, 300, 200}},
        {R"({"Height":4,"Width":3,"Y":2,"X":1,"Extra":true})", platform::Rect{1, 2, 3, 4}},
        {R"({"X":1,"Y":2,"Width":3})", std::nullopt},
        {R"({"X":1,"Y":2,"Width":"3","Height":4})", std::nullopt},
        {R"({"X":1,"Y":2,"Width":true,"Height":4})", std::nullopt},
        {R"({"x":1,"y":2,"width":3,"height":4})", std::nullopt},
        {R"([1,2,3,4])", std::nullopt},
        {R"(null)", std::nullopt},
    };
    for (const Case& c : cases) {
        Json value = Json::parse(c.json);
        EXPECT_EQ(rectFromDictionary(&value), c.expected) << c.json;
    }
    EXPECT_EQ(rectFromDictionary(nullptr), std::nullopt);
}

TEST(ScreenCapture, OwnerPidIsTheRowsNumber) {
    struct Case {
        const char* json;
        std::optional<int64_t> expected;
    } cases[] = {
        {R"({"kCGWindowOwnerPID":501})", 501},
        {R"({"kCGWindowOwnerPID":501.0})", 501},
        {R"({"kCGWindowOwnerPID":"501"})", std::nullopt},
        {R"({"kCGWindowOwnerPID":true})", std::nullopt},
        {R"({})", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ownerPid(Json::parse(c.json)), c.expected) << c.json;
}

} // namespace
} // namespace dorvex::ScreenCapture

namespace dorvex::uuid {
namespace {

TEST(Uuid, FormatsVersionFourWithTheVariantBits) {
    std::array<uint8_t, 16> ones;
    ones.fill(0xff);
    EXPECT_EQ(upperFromBytes(ones), "FFFFFFFF-FFFF-4FFF-BFFF-FFFFFFFFFFFF");
    EXPECT_EQ(upperFromBytes({}), "00000000-0000-4000-8000-000000000000");
    EXPECT_EQ(upperFromBytes({0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0x01, 0x23, 0x45,
                              0x67, 0x89, 0xab, 0xcd, 0xef}),
              "01234567-89AB-4DEF-8123-456789ABCDEF");
}

TEST(Uuid, FreshOnesAreWellFormedAndDistinct) {
    const std::regex pattern("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        std::string text = newUpper();
        EXPECT_TRUE(std::regex_match(text, pattern)) << text;
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

} // namespace
} // namespace dorvex::uuid
