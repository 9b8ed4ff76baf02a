#include "DorvexCore/SecureField.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace dorvex::SecureField {
namespace {

using Read = AttributeRead<int>;

Read text(std::string value) {
    return Read{std::move(value), std::nullopt};
}
Read failing(AttributeReadError error) {
    return Read{std::monostate{}, error};
}

// An accessibility tree of numbered elements. An attribute the element lacks reads as
// unsupported and is not among its names, as with the real interface.
struct FakeAX {
    struct Node {
        std::map<std::string, Read> attributes;
        std::optional<std::vector<std::string>> namesOverride;
        bool namesFail = false;
    };
    std::vector<Node> nodes;
    std::vector<std::pair<int, std::string>> reads;

    int add(std::optional<std::string> role, std::optional<std::string> subrole = std::nullopt) {
        Node node;
        if (role) node.attributes["AXRole"] = text(*role);
        if (subrole) node.attributes["AXSubrole"] = text(*subrole);
        nodes.push_back(std::move(node));
        return static_cast<int>(nodes.size()) - 1;
    }
    int add(const std::string& role, std::vector<int> children) {
        int id = add(role);
        set(id, "AXChildren", Read{std::move(children), std::nullopt});
        return id;
    }
    int cellsOf(const std::string& role, std::vector<int> cells) {
        int id = add(role);
        set(id, "AXCells", Read{std::move(cells), std::nullopt});
        return id;
    }
    void set(int id, const std::string& name, Read read) {
        nodes[static_cast<size_t>(id)].attributes[name] = std::move(read);
    }

    std::optional<std::vector<std::string>> names(int id) {
        const Node& node = nodes[static_cast<size_t>(id)];
        if (node.namesFail) return std::nullopt;
        if (node.namesOverride) return node.namesOverride;
        std::vector<std::string> list;
        for (const auto& entry : node.attributes)
            list.push_back(entry.first);
        return list;
    }
    Read read(int id, const std::string& name) {
        reads.emplace_back(id, name);
        const Node& node = nodes[static_cast<size_t>(id)];
        auto found = node.attributes.find(name);
        if (found == node.attributes.end()) return failing(AttributeReadError::unsupported);
        return found->second;
    }
    Verdict judge(int id) {
        return axVerdict(
            id, [&](int e) { return names(e); },
            [&](int e, const std::string& name) { return read(e, name); });
    }
    bool wasRead(int id, const std::string& name) const {
        return std::find(reads.begin(), reads.end(), std::make_pair(id, name)) != reads.end();
    }
};

std::vector<int> buttons(FakeAX& ax, int count) {
    std::vector<int> list;
    for (int i = 0; i < count; ++i)
        list.push_back(ax.add("AXButton"));
    return list;
}

// A chain of text fields `levels` deep below the judged one, ending in `last`.
int chainOf(FakeAX& ax, int levels, int last) {
    int current = last;
    for (int i = 0; i < levels; ++i)
        current = ax.add("AXTextField", std::vector<int>{current});
    return current;
}

struct Case {
    const char* name;
    std::function<int(FakeAX&)> build;
    Verdict expected;
};

TEST(SecureFieldVerdict, JudgesByRoleSubroleAndContents) {
    const std::string secure(axRole);
    const Case cases[] = {
        {"secure role", [&](FakeAX& ax) { return ax.add(secure); }, Verdict::secure},
        {"secure subrole of a text field",
         [&](FakeAX& ax) { return ax.add("AXTextField", secure); }, Verdict::secure},
        {"secure subrole of a button", [&](FakeAX& ax) { return ax.add("AXButton", secure); },
         Verdict::secure},
        {"secure subrole without a role", [&](FakeAX& ax) { return ax.add(std::nullopt, secure); },
         Verdict::secure},
        {"no role", [](FakeAX& ax) { return ax.add(std::nullopt); }, Verdict::unknown},
        {"role listed but failing",
         [](FakeAX& ax) {
             int e = ax.add(std::nullopt);
             ax.set(e, "AXRole", failing(AttributeReadError::failure));
             return e;
         },
         Verdict::unknown},
        {"role that is not a string",
         [](FakeAX& ax) {
             int e = ax.add(std::nullopt);
             ax.set(e, "AXRole", Read{OtherValue{}, std::nullopt});
             return e;
         },
         Verdict::unknown},
        {"role readable but not among the names",
         [](FakeAX& ax) {
             int e = ax.add("AXButton");
             ax.nodes[static_cast<size_t>(e)].namesOverride = std::vector<std::string>{};
             return e;
         },
         Verdict::unknown},
        {"names unreadable but the subrole is secure",
         [&](FakeAX& ax) {
             int e = ax.add("AXTextField", secure);
             ax.nodes[static_cast<size_t>(e)].namesFail = true;
             return e;
         },
         Verdict::secure},
        {"button", [](FakeAX& ax) { return ax.add("AXButton"); }, Verdict::readable},
        {"button with a failing subrole",
         [](FakeAX& ax) {
             int e = ax.add("AXButton");
             ax.set(e, "AXSubrole", failing(AttributeReadError::failure));
             return e;
         },
         Verdict::unknown},
        {"group holding a secure field: groups are not searched",
         [&](FakeAX& ax) { return ax.add("AXGroup", std::vector<int>{ax.add(secure)}); },
         Verdict::readable},
        {"text field without children", [](FakeAX& ax) { return ax.add("AXTextField"); },
         Verdict::readable},
        {"text field whose subrole fails with another error",
         [](FakeAX& ax) {
             int e = ax.add("AXTextField", std::vector<int>{ax.add("AXStaticText")});
             ax.set(e, "AXSubrole", failing(AttributeReadError::failure));
             return e;
         },
         Verdict::unknown},
        {"search field with a subrole that is not a string",
         [](FakeAX& ax) {
             int e = ax.add("AXSearchField");
             ax.set(e, "AXSubrole", Read{OtherValue{}, std::nullopt});
             return e;
         },
         Verdict::unknown},
        {"combo box holding a secure field",
         [&](FakeAX& ax) {
             return ax.add("AXComboBox", std::vector<int>{ax.add("AXButton"), ax.add(secure)});
         },
         Verdict::secure},
        {"combo box holding a text field holding a secure field",
         [&](FakeAX& ax) {
             int inner = ax.add("AXTextField", std::vector<int>{ax.add(secure)});
             return ax.add("AXComboBox", std::vector<int>{inner});
         },
         Verdict::secure},
        {"combo box holding an unjudgeable child",
         [](FakeAX& ax) {
             return ax.add("AXComboBox", std::vector<int>{ax.add("AXList"), ax.add(std::nullopt)});
         },
         Verdict::unknown},
        {"text area whose children read fails",
         [](FakeAX& ax) {
             int e = ax.add("AXTextArea");
             ax.set(e, "AXChildren", failing(AttributeReadError::failure));
             return e;
         },
         Verdict::unknown},
        {"text area whose listed children are unsupported",
         [](FakeAX& ax) {
             int e = ax.add("AXTextArea");
             ax.set(e, "AXChildren", failing(AttributeReadError::unsupported));
             return e;
         },
         Verdict::unknown},
        {"text area whose children are not elements",
         [](FakeAX& ax) {
             int e = ax.add("AXTextArea");
             ax.set(e, "AXChildren", Read{std::string("x"), std::nullopt});
             return e;
         },
         Verdict::unknown},
        {"text area whose children have no value",
         [](FakeAX& ax) {
             int e = ax.add("AXTextArea");
             ax.set(e, "AXChildren", Read{std::monostate{}, std::nullopt});
             return e;
         },
         Verdict::readable},
        {"text area whose children are not among its names",
         [](FakeAX& ax) {
             int e = ax.add("AXTextArea");
             ax.nodes[static_cast<size_t>(e)].namesOverride =
                 std::vector<std::string>{"AXRole"}; // AXChildren present but not listed
             ax.set(e, "AXChildren", Read{std::vector<int>{ax.add("AXSecureTextField")}, {}});
             return e;
         },
         Verdict::readable},
        {"unknown container without children", [](FakeAX& ax) { return ax.add("AXUnknown"); },
         Verdict::unknown},
        {"unknown container of readable cells",
         [](FakeAX& ax) {
             return ax.cellsOf("AXUnknown", {ax.add("AXStaticText"), ax.add("AXTextField")});
         },
         Verdict::readable},
        {"unknown container with a secure cell",
         [&](FakeAX& ax) {
             return ax.cellsOf("AXUnknown", {ax.add("AXCell"), ax.add(secure)});
         },
         Verdict::secure},
        {"unknown container with a secure child that is not a cell",
         [&](FakeAX& ax) {
             int e = ax.cellsOf("AXUnknown", {ax.add("AXCell")});
             ax.set(e, "AXChildren", Read{std::vector<int>{ax.add(secure)}, std::nullopt});
             return e;
         },
         Verdict::unknown},
        {"unknown container with a readable child that is not a cell",
         [](FakeAX& ax) {
             int e = ax.cellsOf("AXUnknown", {ax.add("AXCell")});
             ax.set(e, "AXChildren", Read{std::vector<int>{ax.add("AXButton")}, std::nullopt});
             return e;
         },
         Verdict::unknown},
        {"text field holding cells: a secure cell counts",
         [&](FakeAX& ax) { return ax.cellsOf("AXTextField", {ax.add(secure)}); }, Verdict::secure},
        {"text area with 31 readable children",
         [](FakeAX& ax) { return ax.add("AXTextArea", buttons(ax, 31)); }, Verdict::readable},
        {"text area with 32 readable children",
         [](FakeAX& ax) { return ax.add("AXTextArea", buttons(ax, 32)); }, Verdict::unknown},
        {"secure field after the budget is spent",
         [&](FakeAX& ax) {
             std::vector<int> children = buttons(ax, 31);
             children.push_back(ax.add(secure));
             return ax.add("AXTextArea", children);
         },
         Verdict::unknown},
        {"budget shared across levels",
         [](FakeAX& ax) {
             // 1 + (1 + 15) + (1 + 15) = 33 visits: the last button is over budget.
             int first = ax.add("AXComboBox", buttons(ax, 15));
             int second = ax.add("AXComboBox", buttons(ax, 15));
             return ax.add("AXTextArea", std::vector<int>{first, second});
         },
         Verdict::unknown},
        {"text field at depth 4 without children",
         [](FakeAX& ax) { return chainOf(ax, 4, ax.add("AXTextField")); }, Verdict::readable},
        {"text field at depth 4 with children",
         [](FakeAX& ax) {
             return chainOf(ax, 4, ax.add("AXTextField", std::vector<int>{ax.add("AXButton")}));
         },
         Verdict::unknown},
        {"button with children at depth 4",
         [](FakeAX& ax) {
             return chainOf(ax, 4, ax.add("AXButton", std::vector<int>{ax.add("AXButton")}));
         },
         Verdict::readable},
        {"secure field at depth 4", [&](FakeAX& ax) { return chainOf(ax, 4, ax.add(secure)); },
         Verdict::secure},
        {"text field at depth 3 holding a secure field",
         [&](FakeAX& ax) {
             return chainOf(ax, 3, ax.add("AXTextField", std::vector<int>{ax.add(secure)}));
         },
         Verdict::secure},
    };
    for (const Case& c : cases) {
        FakeAX ax;
        int root = c.build(ax);
        EXPECT_EQ(ax.judge(root), c.expected) << c.name;
    }
}

TEST(SecureFieldVerdict, ReadsNoMoreThanTheRulesNeed) {
    FakeAX ax;
    int secureField = ax.add(std::string(axRole));
    EXPECT_EQ(ax.judge(secureField), Verdict::secure);
    EXPECT_FALSE(ax.wasRead(secureField, "AXSubrole"));

    int child = ax.add("AXSecureTextField");
    int buttonWithChild = ax.add("AXButton", std::vector<int>{child});
    EXPECT_EQ(ax.judge(buttonWithChild), Verdict::readable);
    EXPECT_FALSE(ax.wasRead(buttonWithChild, "AXChildren"));
    EXPECT_FALSE(ax.wasRead(child, "AXRole"));

    for (const auto& [id, name] : ax.reads)
        EXPECT_NE(name, "AXValue");
}

TEST(SecureFieldVerdict, GenericWalkTreatsFailedRoleAsAbsent) {
    // Elements are strings here; "x" is a text area holding "s", whose role read fails but
    // whose subrole is secure.
    auto role = [](const std::string& e) -> MayFail<std::optional<std::string>> {
        if (e == "x") return std::optional<std::string>("AXTextArea");
        return ReadFailed{};
    };
    auto subrole = [](const std::string& e) -> MayFail<std::optional<std::string>> {
        if (e == "s") return std::optional<std::string>(std::string(axRole));
        return std::nullopt;
    };
    auto children = [](const std::string& e) -> MayFail<std::vector<std::string>> {
        if (e == "x") return std::vector<std::string>{"s"};
        return std::vector<std::string>{};
    };
    auto isCell = [](const std::string&) { return false; };
    EXPECT_EQ(verdict(std::string("x"), role, subrole, children, isCell), Verdict::secure);
    EXPECT_EQ(verdict(std::string("y"), role, subrole, children, isCell), Verdict::unknown);
}

// Elements are numbered, so an element listed again below itself has the same number.
TEST(SecureFieldVerdict, ALoopOrTheRequestBudgetLeavesItUnsettled) {
    const std::string secure(axRole);
    struct LoopCase {
        const char* name;
        std::function<int(FakeAX&)> build;
        Verdict expected;
    };
    const LoopCase cases[] = {
        {"text field listing itself",
         [](FakeAX& ax) {
             int e = ax.add("AXTextField");
             ax.set(e, "AXChildren", Read{std::vector<int>{e}, std::nullopt});
             return e;
         },
         Verdict::unknown},
        {"text area whose child lists the area",
         [](FakeAX& ax) {
             int area = ax.add("AXTextArea");
             int inner = ax.add("AXTextField", std::vector<int>{area});
             ax.set(area, "AXChildren", Read{std::vector<int>{ax.add("AXButton"), inner}, {}});
             return area;
         },
         Verdict::unknown},
        {"combo box listing itself before a secure field",
         [&](FakeAX& ax) {
             int combo = ax.add("AXComboBox");
             ax.set(combo, "AXChildren", Read{std::vector<int>{combo, ax.add(secure)}, {}});
             return combo;
         },
         Verdict::secure},
        {"one element listed twice side by side is no loop",
         [](FakeAX& ax) {
             int button = ax.add("AXButton");
             return ax.add("AXTextArea", std::vector<int>{button, button});
         },
         Verdict::readable},
    };
    for (const LoopCase& c : cases) {
        FakeAX ax;
        const int element = c.build(ax);
        const Verdict verdict = axVerdict(
            element, [&](int e) { return ax.names(e); },
            [&](int e, const std::string& name) { return ax.read(e, name); },
            [](int a, int b) { return a == b; });
        EXPECT_EQ(verdict, c.expected) << c.name;
        // The judged element's children are read once: it is never judged again below itself.
        EXPECT_EQ(std::count(ax.reads.begin(), ax.reads.end(),
                             std::make_pair(element, std::string("AXChildren"))),
                  1)
            << c.name;
    }

    // Elements below the judged one are visits of the request's walk too.
    struct BudgetCase {
        int64_t visits;
        Verdict expected;
        bool exhausted;
    } budgets[] = {{3, Verdict::readable, false}, {2, Verdict::unknown, true}};
    for (const BudgetCase& b : budgets) {
        FakeAX ax;
        const int area = ax.add("AXTextArea", buttons(ax, 3));
        WalkLimits::VisitBudget request(b.visits);
        const Verdict verdict = axVerdict(
            area, [&](int e) { return ax.names(e); },
            [&](int e, const std::string& name) { return ax.read(e, name); },
            WalkLimits::NeverSame{}, &request);
        EXPECT_EQ(verdict, b.expected) << b.visits;
        EXPECT_EQ(request.exhausted(), b.exhausted) << b.visits;
    }
}

TEST(SecureField, IsMatchesEitherRoleOrSubrole) {
    struct Row {
        std::optional<std::string> role, subrole;
        bool expected;
    } rows[] = {
        {"AXSecureTextField", std::nullopt, true},  {std::nullopt, "AXSecureTextField", true},
        {"AXTextField", "AXSecureTextField", true}, {"AXTextField", "AXSearchField", false},
        {"axsecuretextfield", std::nullopt, false}, {std::nullopt, std::nullopt, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(is(row.role, row.subrole), row.expected);
}

TEST(SecureField, ValueFieldsReadTheValueOnlyWhenReadable) {
    int calls = 0;
    auto value = [&]() -> std::optional<std::string> {
        ++calls;
        return "hunter2";
    };
    EXPECT_EQ(valueFields(Verdict::secure, value), Json({{"secure", true}}));
    EXPECT_EQ(valueFields(Verdict::unknown, value), Json::object());
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(valueFields(Verdict::readable, value), Json({{"valuePreview", "hunter2"}}));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(valueFields(Verdict::readable, [] { return std::optional<std::string>(); }),
              Json({{"valuePreview", nullptr}}));
}

} // namespace
} // namespace dorvex::SecureField
