#include "DorvexCore/AppScriptability.h"

#include <gtest/gtest.h>
#include <map>

namespace dorvex::AppScriptability {
namespace {

using Names = std::optional<std::vector<std::string>>;

TEST(AppScriptability, WireNamesRoundTripExactly) {
    for (Value value : {Value::scriptable, Value::notScriptable, Value::unknown})
        EXPECT_EQ(fromWireName(wireName(value)), value);
    EXPECT_EQ(wireName(Value::notScriptable), "not_scriptable");
    EXPECT_EQ(fromWireName("Scriptable"), std::nullopt);
    EXPECT_EQ(fromWireName("not-scriptable"), std::nullopt);
}

TEST(AppScriptabilityFlag, NumbersBooleansAndWords) {
    const std::vector<std::pair<Json, std::optional<bool>>> cases = {
        {true, true},
        {false, false},
        {1, true},
        {0, false},
        {-3, true},
        {0.0, false},
        {0.5, true},
        {"YES", true},
        {"  Yes \n", true},
        {"true", true},
        {"1", true},
        {"no", false},
        {"\tFALSE ", false},
        {"0", false},
        {"maybe", std::nullopt},
        {"", std::nullopt},
        {"y", std::nullopt},
        {"1.0", std::nullopt},
        {nullptr, std::nullopt},
        {Json::array({true}), std::nullopt},
        {Json::object(), std::nullopt},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(flag(value), expected) << value.dump();
}

TEST(AppScriptabilityClassify, KeysFirstThenResources) {
    struct Case {
        const char* why;
        std::optional<Json> info;
        Names names;
        Value expected;
    };
    const Json empty = Json::object();
    const Names noNames = std::vector<std::string>{}; // read, and empty
    const std::vector<Case> cases = {
        {"no Info.plist", std::nullopt, Names{{"App.sdef"}}, Value::unknown},
        {"not a dictionary", Json::array(), Names{{"App.sdef"}}, Value::unknown},
        {"enabled word with spaces", Json{{"NSAppleScriptEnabled", " Yes "}}, noNames,
         Value::scriptable},
        {"enabled without resources read", Json{{"NSAppleScriptEnabled", true}}, std::nullopt,
         Value::scriptable},
        {"disabled beats a definition",
         Json{{"NSAppleScriptEnabled", false}, {"OSAScriptingDefinition", "App.sdef"}},
         Names{{"App.sdef"}}, Value::notScriptable},
        {"maybe and nothing else", Json{{"NSAppleScriptEnabled", "maybe"}}, Names{{"a.png"}},
         Value::unknown},
        {"maybe with a definition",
         Json{{"NSAppleScriptEnabled", "maybe"}, {"OSAScriptingDefinition", "x"}}, noNames,
         Value::scriptable},
        {"maybe with an sdef", Json{{"NSAppleScriptEnabled", "maybe"}}, Names{{"x.sdef"}},
         Value::scriptable},
        {"blank definition", Json{{"OSAScriptingDefinition", " \n"}}, noNames,
         Value::notScriptable},
        {"definition not text", Json{{"OSAScriptingDefinition", 1}}, noNames, Value::notScriptable},
        {"no keys, resources unknown", empty, std::nullopt, Value::unknown},
        {"no keys, no resources", empty, noNames, Value::notScriptable},
        {"upper-case SDEF", empty, Names{{"APP.SDEF"}}, Value::scriptable},
        {"scriptSuite", empty, Names{{"Old.scriptSuite"}}, Value::scriptable},
        {"scriptTerminology", empty, Names{{"Old.scriptTerminology"}}, Value::scriptable},
        {"rsrc only", empty, Names{{"Legacy.rsrc", "icon.icns"}}, Value::unknown},
        {"rsrc with an sdef", empty, Names{{"Legacy.rsrc", "App.sdef"}}, Value::scriptable},
        {"a name that is only an extension", empty, Names{{".sdef"}}, Value::notScriptable},
        {"sdef inside a name", empty, Names{{"sdef.txt", "notes.sdefx"}}, Value::notScriptable},
    };
    for (const Case& c : cases)
        EXPECT_EQ(classify(c.info, c.names), c.expected) << c.why;
}

// A file system of directories and files named by path.
struct FakeFiles {
    std::map<std::string, std::vector<std::string>> directories;
    std::vector<std::string> files;
    std::vector<std::string> unlistable;
    std::map<std::string, Json> plists;

    BundleFiles make() const {
        return {[this](const std::string& path) {
                    if (directories.contains(path)) return EntryKind::directory;
                    for (const std::string& file : files) {
                        if (file == path) return EntryKind::other;
                    }
                    return EntryKind::missing;
                },
                [this](const std::string& path) -> Names {
                    for (const std::string& bad : unlistable) {
                        if (bad == path) return std::nullopt;
                    }
                    auto found = directories.find(path);
                    if (found == directories.end()) return std::nullopt;
                    return found->second;
                },
                [this](const std::string& path) -> std::optional<Json> {
                    auto found = plists.find(path);
                    if (found == plists.end()) return std::nullopt;
                    return found->second;
                }};
    }
};

TEST(AppScriptabilityResourceNames, TopLevelThenLprojEntries) {
    FakeFiles files;
    files.directories = {{"/R", {"en.lproj", "App.icns", "Base.LPROJ", "x.lproj"}},
                         {"/R/en.lproj", {"Main.strings"}},
                         {"/R/Base.LPROJ", {"App.sdef", "Menu.nib"}},
                         {"/R/x.lproj", {}}};
    files.files = {"/F"};
    EXPECT_EQ(resourceNames("/R", files.make()),
              Names({"en.lproj", "App.icns", "Base.LPROJ", "x.lproj", "Main.strings", "App.sdef",
                     "Menu.nib"}));
    EXPECT_EQ(resourceNames("/missing", files.make()), Names(std::vector<std::string>{}));
    EXPECT_EQ(resourceNames("/F", files.make()), std::nullopt); // a file, not a folder
    files.unlistable = {"/R/x.lproj"};
    EXPECT_EQ(resourceNames("/R", files.make()), std::nullopt); // one lproj unreadable
    files.unlistable = {"/R"};
    EXPECT_EQ(resourceNames("/R", files.make()), std::nullopt);
}

TEST(AppScriptabilityRead, ReadsInfoAndResourcesInsideContents) {
    FakeFiles files;
    files.directories = {{"/A.app/Contents/Resources", {"de.lproj"}},
                         {"/A.app/Contents/Resources/de.lproj", {"A.sdef"}}};
    files.plists = {{"/A.app/Contents/Info.plist", Json::object()},
                    {"/B.app/Contents/Info.plist", Json::object()}};
    EXPECT_EQ(read("/A.app", files.make()), Value::scriptable);
    EXPECT_EQ(read("/A.app/", files.make()), Value::scriptable);
    EXPECT_EQ(read("/B.app", files.make()), Value::notScriptable); // no Resources
    EXPECT_EQ(read("/C.app", files.make()), Value::unknown);       // no Info.plist
    EXPECT_EQ(read(std::nullopt, files.make()), Value::unknown);
}

TEST(AppScriptabilityFileURL, PathsOfFileURLs) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"file:///Applications/Mail%20Client.app/", "/Applications/Mail Client.app"},
        {"file://localhost/Applications/A.app", "/Applications/A.app"},
        {"file:///", "/"},
        {"/plain/path/", "/plain/path"},
        {"file:///caf%C3%A9.app/", "/café.app"},
        {"file://server/share/A.app", std::nullopt},
        {"https://example.com/A.app", std::nullopt},
        {"relative/A.app", std::nullopt},
        {"file:///bad%2", std::nullopt},
        {"file:///bad%zz", std::nullopt},
        {"file:///nul%00byte", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [url, path] : cases)
        EXPECT_EQ(filePathOfURL(url), path) << url;
}

} // namespace
} // namespace dorvex::AppScriptability
