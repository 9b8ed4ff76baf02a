#include "DorvexCore/ElementPath.h"
#include "platform/types/Json.h"

#include <gtest/gtest.h>
#include <map>

namespace dorvex {
namespace {

const std::string emptyDigest = "cbf29ce484222325";

TEST(ElementIdentityDigest, IsFnv1aOverUtf8BytesAsStored) {
    struct Case {
        std::string value;
        std::string expected;
    } cases[] = {
        {"", emptyDigest},
        {"a", "af63dc4c8601ec8c"},
        {"foobar", "85944171f73967e8"},
        {"OK", "091d3d07b5b3076f"}, // keeps its leading zero
        {"Passwort \xC3\xBC", "957e874e10493347"},
        {"\xC3\xA9", "0ac21707b7181e01"},  // precomposed e-acute
        {"e\xCC\x81", "c0c9d418ee802e1f"}, // decomposed: not normalised, so a different digest
    };
    for (const Case& c : cases)
        EXPECT_EQ(ElementIdentity::digest(c.value), c.expected) << c.value;
}

TEST(ElementIdentity, AbsentAttributesDigestAsEmptyAndRoleStaysInClear) {
    ElementIdentity absent(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(absent.role, "");
    EXPECT_EQ(absent.token(), "identity::" + emptyDigest + ":" + emptyDigest + ":" + emptyDigest +
                                  ":" + emptyDigest);
    EXPECT_EQ(absent, ElementIdentity("", "", "", "", ""));

    ElementIdentity field("AXTextField", "foobar", "a", "OK", std::nullopt);
    EXPECT_EQ(field.token(),
              "identity:AXTextField:85944171f73967e8:af63dc4c8601ec8c:091d3d07b5b3076f:" +
                  emptyDigest);
    // The digests sit in a fixed order: swapping two attributes changes the identity.
    EXPECT_NE(field, ElementIdentity("AXTextField", "a", "foobar", "OK", std::nullopt));
}

TEST(ElementIdentity, ParseReadsBackTokensAndRefusesMalformedOnes) {
    const std::string d = emptyDigest;
    ElementIdentity field("AXTextField", "foobar", "a", "OK", "x");
    EXPECT_EQ(ElementIdentity::parse(field.token()), field);
    EXPECT_EQ(ElementIdentity::parse("identity::" + d + ":" + d + ":" + d + ":" + d)->role, "");

    const std::string refused[] = {
        "",
        "identity:",
        "Identity:AXButton:" + d + ":" + d + ":" + d + ":" + d,
        "AXButton:" + d + ":" + d + ":" + d + ":" + d,
        "identity:AXButton:" + d + ":" + d + ":" + d,                       // four pieces
        "identity:AXButton:" + d + ":" + d + ":" + d + ":" + d + ":" + d,   // six pieces
        "identity:AX:Button:" + d + ":" + d + ":" + d + ":" + d,            // colon in role
        "identity:AXButton:" + d.substr(1) + ":" + d + ":" + d + ":" + d,   // 15 characters
        "identity:AXButton:" + d + "0:" + d + ":" + d + ":" + d,            // 17 characters
        "identity:AXButton:" + d + ":" + d + ":" + d + ":CBF29CE484222325", // capitals
        "identity:AXButton:" + d + ":" + d + ":" + d + ":cbf29ce48422232g", // not hex
        "identity:AXButton:" + d + ":" + d + ":" + d + ":" + d + ":",       // trailing colon
        "identity:AXButton:" + d + ":" + d + ":" + d + ": bf29ce484222325", // space
    };
    for (const std::string& token : refused)
        EXPECT_FALSE(ElementIdentity::parse(token)) << token;
}

TEST(ElementPathNumber, AcceptsOnlyPlainNonNegativeDecimals) {
    struct Case {
        std::string token;
        std::optional<int64_t> expected;
    } cases[] = {
        {"pid:5", 5},
        {"pid:007", 7},
        {"pid:0", 0},
        {"pid:9223372036854775807", INT64_MAX},
        {"pid:9223372036854775808", std::nullopt},
        {"pid:", std::nullopt},
        {"pid:+5", std::nullopt},
        {"pid:-1", std::nullopt},
        {"pid: 5", std::nullopt},
        {"pid:5 ", std::nullopt},
        {"pid:5x", std::nullopt},
        {"pid:\xD9\xA5", std::nullopt}, // Arabic-Indic digit five
        {"Pid:5", std::nullopt},
        {"child:5", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ElementPath::number("pid:", c.token), c.expected) << c.token;
}

ElementIdentity button() {
    return ElementIdentity("AXButton", "OK", std::nullopt, std::nullopt, "Confirms");
}

TEST(ElementPath, TokensRoundTripThroughParse) {
    const ElementPath paths[] = {
        ElementPath{7, 42, {0, 3, 1}, button()},
        ElementPath{2147483647, std::nullopt, {}, button()},
        ElementPath{std::nullopt, 1, {0}, button()},
        ElementPath{std::nullopt, std::nullopt, {}, button()},
        ElementPath{1, 4294967296, {9223372036854775807}, ElementIdentity("", "", "", "", "")},
    };
    for (const ElementPath& path : paths) {
        std::optional<ElementPath> read = ElementPath::parse(path.tokens());
        ASSERT_TRUE(read);
        EXPECT_EQ(*read, path);
        // Written straight into an answer, the tokens before the identity read as listed.
        std::string written;
        path.appendPositionTokens(written);
        std::vector<std::string> positions = path.tokens();
        positions.pop_back();
        EXPECT_EQ("[" + written + "]", Json(positions).dump());
    }
    EXPECT_EQ(
        (ElementPath{7, 42, {0, 3}, button()}.tokens()),
        (std::vector<std::string>{"pid:7", "windowId:42", "child:0", "child:3", button().token()}));
}

TEST(ElementPath, ChildDropsIdentityAndIdentifiedReplacesIt) {
    ElementPath root{7, 42, {}, std::nullopt};
    ElementPath child = root.identified(button()).child(2).child(0);
    EXPECT_EQ(child, (ElementPath{7, 42, {2, 0}, std::nullopt}));
    // A path never given an identity writes no identity token, and so does not read back.
    EXPECT_EQ(child.tokens(),
              (std::vector<std::string>{"pid:7", "windowId:42", "child:2", "child:0"}));
    EXPECT_FALSE(ElementPath::parse(child.tokens()));
    EXPECT_EQ(child.identified(button()).identity, button());
}

TEST(ElementPath, ParseRefusesEveryTokenOutOfPlaceOrRange) {
    const std::string id = button().token();
    const std::vector<std::string> refused[] = {
        {},
        {"pid:7"},         // no identity at the end
        {id, "pid:7"},     // identity not last
        {"pid:7", id, id}, // identity twice
        {"pid:0", id},
        {"pid:2147483648", id},
        {"pid:+5", id},
        {"pid:-1", id},
        {"pid:", id},
        {"pid: 5", id},
        {"pid:7", "pid:7", id},      // second pid
        {"windowId:4", "pid:7", id}, // pid after windowId
        {"child:0", "pid:7", id},    // pid after child
        {"windowId:0", id},
        {"windowId:4", "windowId:4", id}, // second windowId
        {"child:0", "windowId:4", id},    // windowId after child
        {"child:-1", id},
        {"child:99999999999999999999", id}, // beyond 64 bits
        {"child:1.0", id},
        {"role:AXButton", id}, // unknown prefix
        {"", id},
        {"pid:7", "identity:AXButton", id}, // malformed identity before the end
        // A role holding a colon writes a token that never reads back.
        ElementPath{7, 1, {}, ElementIdentity("AX:Button", "", "", "", "")}.tokens(),
    };
    for (const std::vector<std::string>& tokens : refused) {
        std::string shown;
        for (const std::string& token : tokens)
            shown += token + " | ";
        EXPECT_FALSE(ElementPath::parse(tokens)) << shown;
    }
}

TEST(ElementPath, ParseAcceptsTheOptionalPartsOfTheGrammar) {
    const std::string id = button().token();
    struct Case {
        std::vector<std::string> tokens;
        ElementPath expected;
    } cases[] = {
        {{id}, {std::nullopt, std::nullopt, {}, button()}},
        {{"windowId:9", id}, {std::nullopt, 9, {}, button()}},
        {{"pid:007", "child:0", "child:00", id}, {7, std::nullopt, {0, 0}, button()}},
        {{"pid:1", "windowId:1", id}, {1, 1, {}, button()}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ElementPath::parse(c.tokens), c.expected);
}

// A small tree of named nodes; the walk sees names as elements.
//
//   root
//   ├── a (AXButton "OK")
//   │   └── a0 (AXButton "OK")
//   └── b (AXButton "OK")
struct Tree {
    std::map<std::string, std::vector<std::string>> children{
        {"root", {"a", "b"}}, {"a", {"a0"}}, {"b", {}}, {"a0", {}}};
    std::map<std::string, ElementIdentity> identities{
        {"root", ElementIdentity("AXWindow", "Main", std::nullopt, std::nullopt, std::nullopt)},
        {"a", button()},
        {"b", button()},
        {"a0", ElementIdentity("AXStaticText", "OK", std::nullopt, std::nullopt, std::nullopt)}};
    std::vector<std::string> childCalls;
    int identityCalls = 0;

    std::optional<std::string> walk(const ElementPath& path) {
        return path.resolve(
            std::string("root"),
            [&](const std::string& e) {
                childCalls.push_back(e);
                return children.at(e);
            },
            [&](const std::string& e) {
                ++identityCalls;
                return identities.at(e);
            });
    }
};

TEST(ElementPathResolve, WalksPositionsAndComparesOnlyTheLastIdentity) {
    struct Case {
        ElementPath path;
        std::optional<std::string> expected;
        std::vector<std::string> childCalls;
        int identityCalls;
    } cases[] = {
        {{7, 1, {0}, button()}, "a", {"root"}, 1},
        {{7, 1, {1}, button()}, "b", {"root"}, 1}, // equal identities: the position decides
        {{7, 1, {0, 0}, Tree().identities.at("a0")}, "a0", {"root", "a"}, 1},
        {{7, 1, {}, Tree().identities.at("root")}, "root", {}, 1},
        {{7, 1, {2}, button()}, std::nullopt, {"root"}, 0}, // index equals the count
        {{7, 1, {-1}, button()}, std::nullopt, {"root"}, 0},
        {{7, 1, {0, 0, 0}, button()}, std::nullopt, {"root", "a", "a0"}, 0},
        {{7, 1, {0, 0}, button()}, std::nullopt, {"root", "a"}, 1}, // moved: role differs
        {{7, 1, {0}, ElementIdentity("AXButton", "Cancel", std::nullopt, std::nullopt, "Confirms")},
         std::nullopt,
         {"root"},
         1},
        {{7, 1, {0}, std::nullopt}, std::nullopt, {}, 0}, // no identity: nothing is read
    };
    for (const Case& c : cases) {
        Tree tree;
        EXPECT_EQ(tree.walk(c.path), c.expected);
        EXPECT_EQ(tree.childCalls, c.childCalls);
        EXPECT_EQ(tree.identityCalls, c.identityCalls);
    }
}

// A loop: "w" lists itself and "g", "g" lists "w". Elements are handles "name#n"; two handles of
// one element are equal, as the platform's equality says, though the handles differ.
TEST(ElementPathResolve, StopsBelowARepeatedElementAndAtOverlongPaths) {
    const ElementIdentity window("AXWindow", "Main", std::nullopt, std::nullopt, std::nullopt);
    const ElementIdentity group("AXGroup", std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    int handles = 0;
    std::vector<std::string> childCalls;
    auto name = [](const std::string& handle) { return handle.substr(0, handle.find('#')); };
    auto walk = [&](const ElementPath& path) -> std::optional<std::string> {
        childCalls.clear();
        std::optional<std::string> found = path.resolve(
            std::string("w#0"),
            [&](const std::string& e) {
                childCalls.push_back(name(e));
                const std::string n = std::to_string(++handles);
                return name(e) == "w" ? std::vector<std::string>{"w#" + n, "g#" + n}
                                      : std::vector<std::string>{"w#" + n};
            },
            [&](const std::string& e) { return name(e) == "w" ? window : group; },
            [&](const std::string& a, const std::string& b) { return name(a) == name(b); });
        if (!found) return std::nullopt;
        return name(*found);
    };
    struct Case {
        const char* name;
        std::vector<int64_t> positions;
        ElementIdentity identity;
        std::optional<std::string> expected;
        std::vector<std::string> childCalls;
    } cases[] = {
        {"ends at the window listed again", {0}, window, "w", {"w"}},
        {"goes on below the window listed again", {0, 1}, group, std::nullopt, {"w"}},
        {"ends at the window listed by the group", {1, 0}, window, "w", {"w", "g"}},
        {"goes on below it", {1, 0, 1}, group, std::nullopt, {"w", "g"}},
        {"a new element", {1}, group, "g", {"w"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(walk(ElementPath{7, 1, c.positions, c.identity}), c.expected) << c.name;
        EXPECT_EQ(childCalls, c.childCalls) << c.name;
    }

    // Longer than any path the driver hands out: refused before anything is read. Without the
    // loop check, window, group, window, ... for 64 positions ends at the window and resolves.
    std::vector<int64_t> longest;
    for (int64_t i = 0; i < WalkLimits::pathPositions; ++i)
        longest.push_back(i % 2 == 0 ? 1 : 0);
    auto plainWalk = [&](const ElementPath& path) {
        childCalls.clear();
        return path.resolve(
            std::string("w#0"),
            [&](const std::string& e) {
                childCalls.push_back(name(e));
                return name(e) == "w" ? std::vector<std::string>{"w#x", "g#x"}
                                      : std::vector<std::string>{"w#x"};
            },
            [&](const std::string& e) { return name(e) == "w" ? window : group; });
    };
    EXPECT_TRUE(plainWalk(ElementPath{7, 1, longest, window}).has_value());
    longest.push_back(1);
    EXPECT_FALSE(plainWalk(ElementPath{7, 1, longest, group}).has_value());
    EXPECT_TRUE(childCalls.empty());
}

} // namespace
} // namespace dorvex
