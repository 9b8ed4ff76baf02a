#pragma once

// Shared helpers for the simulated desktop's tests: build a desktop from scenario JSON and walk
// its accessibility trees through the platform calls themselves.
#include "platform/sim/SimDesktop.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace dorvex::platform::sim::testing {

inline std::unique_ptr<SimDesktop> desktopFrom(const Json& scenario, SimOptions options = {}) {
    options.scenarioText = scenario.dump();
    auto desktop = std::make_unique<SimDesktop>(std::move(options));
    EXPECT_EQ(desktop->lastLoadError(), std::nullopt);
    return desktop;
}

using dorvex::testing::TempDir;

inline std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<Json> readJsonLines(const std::string& path) {
    std::vector<Json> lines;
    std::istringstream in(readFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(Json::parse(line));
    return lines;
}

// Replaces the file by rename, the way an editor or a test harness swaps a scenario.
inline void writeFileAtomically(const std::string& path, const std::string& text) {
    std::string temporary = path + ".tmp";
    std::ofstream(temporary) << text;
    std::filesystem::rename(temporary, path);
}

inline std::optional<std::string> stringOf(SimDesktop& desktop, const Element& element,
                                           const std::string& attribute) {
    AXAttributeResult read = desktop.copyAttributeValue(element, attribute);
    if (read.code != axerr::success || !read.value.string()) return std::nullopt;
    return *read.value.string();
}

inline std::vector<Element> elementsOf(SimDesktop& desktop, const Element& element,
                                       const std::string& attribute) {
    std::vector<Element> elements;
    AXAttributeResult read = desktop.copyAttributeValue(element, attribute);
    if (read.code != axerr::success || !read.value.list()) return elements;
    for (const AXValue& item : *read.value.list()) {
        if (item.element()) elements.push_back(*item.element());
    }
    return elements;
}

// Depth-first through "AXChildren" and "AXCells" for the element with this identifier.
inline Element findByIdentifier(SimDesktop& desktop, const Element& from,
                                const std::string& identifier) {
    if (stringOf(desktop, from, "AXIdentifier") == identifier) return from;
    for (const char* attribute : {"AXChildren", "AXCells"}) {
        for (const Element& child : elementsOf(desktop, from, attribute)) {
            if (Element found = findByIdentifier(desktop, child, identifier)) return found;
        }
    }
    return {};
}

} // namespace dorvex::platform::sim::testing
