// Property lists and bundles read from disk: the repository's fixture bundles (XML and binary
// Info.plist files, Resources layouts) and hostile files made here.
#include "DorvexOS/BundleFiles.h"
#include "DorvexOS/PropertyList.h"
#include "support/TempDir.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace dorvex {
namespace {

using testing::TempDir;

const std::string examples = std::string(DORVEX_SOURCE_DIR) + "/examples/bundles/";
const std::string fixtures = std::string(DORVEX_SOURCE_DIR) + "/tests/fixtures/bundles/";

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string xmlPlist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD "
           "PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">" +
           body + "</plist>\n";
}

std::string nestedArraysXml(size_t depth) {
    std::string body = "<dict><key>a</key>";
    for (size_t i = 0; i < depth; ++i)
        body += "<array>";
    for (size_t i = 0; i < depth; ++i)
        body += "</array>";
    return xmlPlist(body + "</dict>");
}

void bigEndian(std::string& out, uint64_t value, int width) {
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

// A binary list whose object i is a one-element array holding object next(i); the last object
// is an empty dictionary (or, with `cycle`, an array holding the first object again).
std::string nestedArraysBinary(uint32_t count, bool cycle = false) {
    std::string objects;
    std::vector<uint64_t> offsets;
    for (uint32_t i = 0; i < count; ++i) {
        offsets.push_back(8 + objects.size());
        if (i + 1 < count || cycle) {
            objects += static_cast<char>(0xA1);
            bigEndian(objects, i + 1 < count ? i + 1 : 0, 4);
        } else {
            objects += static_cast<char>(0xD0);
        }
    }
    std::string data = "bplist00" + objects;
    const uint64_t tableOffset = data.size();
    for (uint64_t offset : offsets)
        bigEndian(data, offset, 4);
    data += std::string(6, '\0');
    data += static_cast<char>(4);
    data += static_cast<char>(4);
    bigEndian(data, count, 8);
    bigEndian(data, 0, 8);
    bigEndian(data, tableOffset, 8);
    return data;
}

TEST(PropertyList, ReadsXmlAndBinaryInfoPlists) {
    auto xml = propertyList::readDictionary(examples + "TextEdit.app/Contents/Info.plist");
    ASSERT_TRUE(xml);
    EXPECT_EQ((*xml)["CFBundleIdentifier"], "com.apple.TextEdit");
    EXPECT_EQ((*xml)["NSAppleScriptEnabled"], true);
    auto binary = propertyList::readDictionary(examples + "Finder.app/Contents/Info.plist");
    ASSERT_TRUE(binary);
    EXPECT_EQ((*binary)["CFBundleIdentifier"], "com.apple.finder");
    auto spaced = propertyList::readDictionary(fixtures + "SpacedYes.app/Contents/Info.plist");
    ASSERT_TRUE(spaced);
    EXPECT_EQ((*spaced)["NSAppleScriptEnabled"], "  Yes \n");
}

TEST(PropertyList, ValuesOfEveryKind) {
    TempDir directory;
    writeFile(directory.file("Info.plist"),
              xmlPlist("<dict><key>t</key><true/><key>f</key><false/><key>n</key><integer>7"
                       "</integer><key>r</key><real>0.5</real><key>s</key><string>x</string>"
                       "<key>d</key><date>2020-01-01T00:00:00Z</date><key>b</key><data>AA==</data>"
                       "<key>a</key><array><string>y</string></array></dict>"));
    EXPECT_EQ(propertyList::readDictionary(directory.file("Info.plist")),
              Json::parse(R"({"t":true,"f":false,"n":7,"r":0.5,"s":"x","d":null,"b":null,
                              "a":["y"]})"));
}

TEST(PropertyList, RefusesWhatIsNotADictionaryFileWithoutCrashingOrBlocking) {
    TempDir directory;
    const std::string path = directory.file("Info.plist");
    EXPECT_FALSE(propertyList::readDictionary(fixtures + "ArrayRoot.app/Contents/Info.plist"));
    EXPECT_FALSE(propertyList::readDictionary(fixtures + "Truncated.app/Contents/Info.plist"));
    EXPECT_FALSE(propertyList::readDictionary(directory.file("missing.plist")));
    EXPECT_FALSE(propertyList::readDictionary(directory.path().string())); // a folder

    const std::vector<std::pair<const char*, std::string>> hostile = {
        {"empty", ""},
        {"not a plist", "hello"},
        {"string root", xmlPlist("<string>x</string>")},
        {"unclosed", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>"},
        {"deep XML", nestedArraysXml(200'000)},
        {"deep binary", nestedArraysBinary(200'000)},
        {"binary cycle", nestedArraysBinary(3, true)},
        {"binary self reference", nestedArraysBinary(1, true)},
        {"huge", xmlPlist("<dict><key>k</key><string>" + std::string(propertyList::maxBytes, 'x') +
                          "</string></dict>")},
        {"bad trailer", "bplist00" + std::string(40, '\xff')},
    };
    for (const auto& [why, bytes] : hostile) {
        writeFile(path, bytes);
        EXPECT_FALSE(propertyList::readDictionary(path)) << why;
    }

    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(propertyList::readDictionary(path)); // nobody writes: must not wait
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(PropertyList, ModestNestingAndOddTextStillRead) {
    TempDir directory;
    const std::string path = directory.file("Info.plist");
    writeFile(path, nestedArraysXml(20));
    EXPECT_TRUE(propertyList::readDictionary(path));
    const std::string chain = nestedArraysBinary(20);
    EXPECT_TRUE(propertyList::nestingWithin(chain, propertyList::maxDepth));
    std::optional<Json> parsed = propertyList::parse(chain);
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->is_array());
    writeFile(path, xmlPlist("<dict><key>NSAppleScriptEnabled</key><string>\xff\xfe</string>"
                             "<key>OSAScriptingDefinition</key><string>\xc3</string></dict>"));
    auto odd = propertyList::readDictionary(path);
    if (odd) { // whether the reader keeps undecodable text is its own choice; no crash either way
        EXPECT_EQ(AppScriptability::flag((*odd)["NSAppleScriptEnabled"]), std::nullopt);
    }
}

TEST(PropertyList, NestingLimitCountsContainersNotSiblings) {
    EXPECT_TRUE(propertyList::nestingWithin(nestedArraysBinary(5), 5));
    EXPECT_FALSE(propertyList::nestingWithin(nestedArraysBinary(7), 5));
    EXPECT_TRUE(propertyList::nestingWithin(
        xmlPlist("<dict><key>a</key><string/><!-- <a><b><c> --><![CDATA[<x><y>]]></dict>"), 3));
    EXPECT_FALSE(
        propertyList::nestingWithin(xmlPlist("<dict><array><array></array></array></dict>"), 3));
    std::string wide = xmlPlist("<array>" + [] {
        std::string items;
        for (int i = 0; i < 1000; ++i)
            items += "<string>x</string>";
        return items;
    }() + "</array>");
    EXPECT_TRUE(propertyList::nestingWithin(wide, 3));
}

TEST(BundleScriptability, FixtureBundles) {
    const std::vector<std::pair<std::string, AppScriptability::Value>> cases = {
        {examples + "TextEdit.app", AppScriptability::Value::scriptable},
        {examples + "Finder.app", AppScriptability::Value::scriptable}, // binary, lproj sdef
        {examples + "Calculator.app", AppScriptability::Value::notScriptable},
        {examples + "Legacy.app", AppScriptability::Value::unknown},
        {fixtures + "Shouting.app", AppScriptability::Value::scriptable},
        {fixtures + "LprojOnly.app", AppScriptability::Value::scriptable},
        {fixtures + "NoInfo.app", AppScriptability::Value::unknown},
        {fixtures + "NoResources.app", AppScriptability::Value::notScriptable},
        {fixtures + "FileResources.app", AppScriptability::Value::unknown},
        {fixtures + "SpacedYes.app", AppScriptability::Value::scriptable},
        {fixtures + "Maybe.app", AppScriptability::Value::unknown},
        {fixtures + "DisabledWithSdef.app", AppScriptability::Value::notScriptable},
        {fixtures + "ArrayRoot.app", AppScriptability::Value::unknown},
        {fixtures + "Truncated.app", AppScriptability::Value::unknown},
        {fixtures + "Nowhere.app", AppScriptability::Value::unknown},
    };
    for (const auto& [bundle, expected] : cases)
        EXPECT_EQ(AppScriptability::read(bundle, systemBundleFiles()), expected) << bundle;
}

TEST(BundleScriptability, LinksAreFollowedAndLoopsAreUnknown) {
    TempDir directory;
    const std::filesystem::path contents = directory.path() / "A.app" / "Contents";
    std::filesystem::create_directories(contents);
    std::filesystem::copy_file(fixtures + "NoResources.app/Contents/Info.plist",
                               contents / "Info.plist");
    std::filesystem::create_directories(directory.path() / "real" / "x.lproj");
    writeFile((directory.path() / "real" / "x.lproj" / "A.sdef").string(), "sdef");
    const std::string bundle = (directory.path() / "A.app").string();

    std::filesystem::create_directory_symlink(directory.path() / "real", contents / "Resources");
    EXPECT_EQ(AppScriptability::read(bundle, systemBundleFiles()),
              AppScriptability::Value::scriptable);

    std::filesystem::remove(contents / "Resources");
    std::filesystem::create_symlink(contents / "Resources", contents / "Resources"); // a loop
    EXPECT_EQ(AppScriptability::read(bundle, systemBundleFiles()),
              AppScriptability::Value::unknown);

    std::filesystem::remove(contents / "Resources");
    std::filesystem::create_directories(contents / "Resources");
    std::filesystem::create_symlink(contents / "Resources" / "y.lproj",
                                    contents / "Resources" / "y.lproj");
    EXPECT_EQ(AppScriptability::read(bundle, systemBundleFiles()),
              AppScriptability::Value::unknown);
}

} // namespace
} // namespace dorvex
