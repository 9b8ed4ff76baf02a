#include "DorvexCore/ScreenCapture.h"

#include <gtest/gtest.h>

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
