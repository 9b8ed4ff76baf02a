// A secure field's value never leaves the driver and is never even read: distinct secrets are
// planted in secure fields of every kind across a generated tree of a few thousand elements,
// every read action runs over it, and neither the answers nor the desktop's value-read counters
// may show a trace of them.
#include "support/DriverProcess.h"
#include "support/Scenarios.h"

#include <gtest/gtest.h>
#include <set>

namespace dorvex::testing {
namespace {

constexpr int64_t vaultPid = 700;
constexpr int64_t vaultWindow = 7001;
const std::string secure = "AXSecureTextField";

// Builds the vault: every element that holds a secret gets an id, so the desktop's counters
// can show whether its value was read.
class VaultBuilder {
public:
    // An element whose value is a fresh secret.
    Json secret(const std::string& role, const std::string& kind, Json fields = Json::object()) {
        std::string id = "s" + std::to_string(secretIds_.size());
        std::string value = "SECRET-" + kind + "-" + std::to_string(secretIds_.size()) + "-x";
        secretIds_.insert(id);
        secrets_.push_back(value);
        fields["id"] = id;
        fields["value"] = value;
        fields["identifier"] = group_ + "-" + kind;
        return element(role, fields);
    }

    Json plain(const std::string& role, const std::string& kind, Json fields = Json::object()) {
        fields["identifier"] = group_ + "-" + kind;
        return element(role, fields);
    }

    // One group of every disguise, with readable neighbours.
    Json group(int index) {
        group_ = "g" + std::to_string(index) + "x";
        Json children = Json::array();
        children.push_back(secret(secure, "role"));
        children.push_back(secret("AXTextField", "subrole", {{"subrole", secure}}));
        children.push_back(secret("AXTextField", "roleUnreadable",
                                  {{"subrole", secure}, {"errors", {{"AXRole", -25200}}}}));
        children.push_back(
            secret("AXComboBox", "combo",
                   {{"children", {secret("AXTextField", "comboInner", {{"subrole", secure}})}}}));
        children.push_back(secret("AXUnknown", "grid",
                                  {{"cells",
                                    {plain("AXStaticText", "gridLabel", {{"value", "label"}}),
                                     secret(secure, "cell")}}}));
        children.push_back(
            secret("AXUnknown", "unknownChild", {{"children", {secret(secure, "unknownInner")}}}));
        children.push_back(secret("AXTextArea", "area",
                                  {{"children",
                                    {secret("AXTextField", "areaField",
                                            {{"children", {secret(secure, "areaInner")}}})}}}));
        Json crowded = Json::array();
        for (int i = 0; i < 40; ++i) {
            crowded.push_back(plain("AXStaticText", "line" + std::to_string(i), {{"value", "l"}}));
        }
        crowded.push_back(secret(secure, "crowdedInner"));
        children.push_back(secret("AXTextArea", "crowded", {{"children", crowded}}));
        Json deep = secret(secure, "deepest");
        for (int level = 0; level < 5; ++level) {
            deep = secret("AXTextField", "deep" + std::to_string(level), {{"children", {deep}}});
        }
        children.push_back(deep);
        children.push_back(plain("AXTextField", "visible", {{"value", "visible text"}}));
        for (int i = 0; i < 20; ++i) {
            children.push_back(plain("AXButton", "button" + std::to_string(i),
                                     {{"title", "Button " + std::to_string(i)}}));
        }
        return plain("AXGroup", "group",
                     {{"title", "Group " + std::to_string(index)}, {"children", children}});
    }

    std::string desktopText(int groups) {
        Json children = Json::array();
        for (int i = 0; i < groups; ++i)
            children.push_back(group(i));
        Json vault = app(vaultPid, "com.example.Vault", "Vault",
                         {{"windows", {axWindow(vaultWindow, "Vault", children)}}}, true);
        return desktop({vault},
                       {serverWindow(vaultWindow, vaultPid, "Vault", rect(0, 0, 1000, 800))})
            .dump();
    }

    const std::set<std::string>& secretIds() const { return secretIds_; }
    const std::vector<std::string>& secrets() const { return secrets_; }

private:
    std::string group_;
    std::set<std::string> secretIds_;
    std::vector<std::string> secrets_;
};

// Sends one action and gives the raw answer line.
std::string rawExecute(DriverProcess& driver, const Json& action) {
    static int next = 0;
    Json request = {{"jsonrpc", "2.0"},
                    {"id", "secure-" + std::to_string(++next)},
                    {"method", "automation.execute"},
                    {"params", {{"action", action}}}};
    driver.send(request.dump());
    return driver.readRawLine(std::chrono::seconds(30)).value_or("");
}

TEST(SecureValues, NoSecretIsReadOrWrittenByAnyReadAction) {
    VaultBuilder vault;
    constexpr int groups = 40;
    DriverProcess driver(onDesktop(vault.desktopText(groups)));

    std::vector<Json> actions = {
        {{"actionType", "desktop_get_ui_tree"}, {"windowId", vaultWindow}, {"maxDepth", 20}},
        {{"actionType", "desktop_get_ui_tree"},
         {"appBundleId", "com.example.Vault"},
         {"maxDepth", 20}},
        {{"actionType", "desktop_get_ui_tree"}, {"appPid", vaultPid}},
        {{"actionType", "desktop_find_elements"}, {"windowId", vaultWindow}, {"limit", 100}},
        {{"actionType", "desktop_find_elements"}, {"role", "secure"}, {"limit", 100}},
        {{"actionType", "desktop_find_elements"}, {"role", "field"}, {"limit", 100}},
        {{"actionType", "desktop_list_apps"}},
        {{"actionType", "desktop_list_windows"}},
    };
    // Every element of every group is a match of its group's identifier search.
    for (int i = 0; i < groups; ++i) {
        actions.push_back({{"actionType", "desktop_find_elements"},
                           {"appPid", vaultPid},
                           {"identifier", "g" + std::to_string(i) + "x-"},
                           {"limit", 100}});
    }

    std::vector<std::string> lines;
    size_t matched = 0;
    for (const Json& action : actions) {
        lines.push_back(rawExecute(driver, action));
        ASSERT_FALSE(lines.back().empty()) << action.dump();
        Json answer = Json::parse(lines.back())["result"];
        if (answer["actionType"] == "desktop_find_elements") {
            ASSERT_EQ(answer["ok"], true) << action.dump();
            matched += answer["result"]["matches"].size();
        }
    }
    // The per-group searches saw every element: 83 per group, plus the broad searches.
    EXPECT_GE(matched, static_cast<size_t>(groups) * 83);

    // Acting on a secure field echoes neither its value nor the new one.
    Json tree = Json::parse(lines[0])["result"]["result"]["tree"];
    Json field = findNode(tree, "identifier", "g3x-role");
    ASSERT_EQ(field["secure"], true);
    lines.push_back(rawExecute(driver, {{"actionType", "desktop_set_element_value"},
                                        {"elementPath", field["path"]},
                                        {"value", "SECRET-typed-by-controller"}}));
    lines.push_back(rawExecute(driver, {{"actionType", "desktop_invoke_element_action"},
                                        {"elementPath", field["path"]},
                                        {"elementAction", "AXConfirm"}}));
    lines.push_back(rawExecute(
        driver,
        {{"actionType", "desktop_get_ui_tree"}, {"windowId", vaultWindow}, {"maxDepth", 20}}));

    for (const std::string& line : lines) {
        ASSERT_EQ(line.find("SECRET-"), std::string::npos)
            << line.substr(line.find("SECRET-") - std::min<size_t>(line.find("SECRET-"), 300), 400);
    }

    driver.closeInput();
    ASSERT_EQ(driver.waitExit(std::chrono::seconds(10)), 0);
    Json stats = driver.stats();
    int64_t readableReads = 0;
    for (const Json& row : stats["valueReads"]) {
        const std::string id = row.value("id", "");
        if (vault.secretIds().contains(id)) {
            ADD_FAILURE() << "value read of a secure element: " << row.dump();
        } else {
            readableReads += row["count"].get<int64_t>();
        }
    }
    // The counters do count: the readable neighbours were read.
    EXPECT_GT(readableReads, 0);
    EXPECT_EQ(vault.secrets().size(), vault.secretIds().size());
}

} // namespace
} // namespace dorvex::testing
