#pragma once

// A small in-memory desktop for in-process tests of window access and listings: a window list,
// running apps and accessibility elements given as plain data, with counters and a hook that
// runs on every window-list read, so a test can change the desktop between two reads of one
// request. It models the accessibility, window-server and workspace facets; every call it does
// not model answers "nothing there". Hand it to FakePlatform for the other facets.
#include "support/FakePlatform.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace dorvex::testing {

class FakeDesktop : public NoAccessibility, public NoWindowServer, public NoWorkspace {
public:
    struct Node {
        std::map<std::string, platform::AXValue> attributes;
        std::map<std::string, int32_t> errors; // attribute -> error code
        std::optional<uint32_t> windowNumber;  // what the private function reports
    };

    // The desktop, edited freely by tests.
    std::vector<platform::WindowRow> rows; // front to back
    bool windowListReadable = true;
    std::vector<platform::RunningApplication> apps;
    std::optional<int32_t> frontmostPid;
    bool windowNumberFunction = true;
    std::function<void(platform::WindowListOption, uint32_t)> onWindowListRead;
    std::vector<uint32_t> missingFromSingleWindowRead; // listed in full, not by id

    // What was asked.
    std::vector<std::pair<platform::WindowListOption, uint32_t>> windowListReads;

    // Adds an element and returns its handle; attributes may refer to earlier handles.
    platform::Element add(Node node) {
        nodes_.push_back(std::move(node));
        return platform::Element(std::make_shared<size_t>(nodes_.size() - 1));
    }
    Node& node(const platform::Element& element) {
        return nodes_.at(*static_cast<const size_t*>(element.raw()));
    }
    void setApplicationElement(int32_t pid, platform::Element element) {
        applications_[pid] = std::move(element);
    }

    static platform::AXValue list(const std::vector<platform::Element>& elements) {
        platform::AXValueList items;
        for (const auto& element : elements)
            items.push_back({element});
        return {items};
    }
    static platform::AXValue text(std::string value) { return {std::move(value)}; }
    static platform::AXValue point(double x, double y) { return {platform::Point{x, y}}; }
    static platform::AXValue size(double width, double height) {
        return {platform::Size{width, height}};
    }

    platform::Element createApplicationElement(int32_t pid) override {
        auto found = applications_.find(pid);
        return found != applications_.end() ? found->second : add({});
    }
    platform::AXAttributeResult copyAttributeValue(const platform::Element& element,
                                                   const std::string& attribute) override {
        Node& target = node(element);
        if (auto error = target.errors.find(attribute); error != target.errors.end()) {
            return {error->second, {}};
        }
        auto found = target.attributes.find(attribute);
        if (found == target.attributes.end()) return {platform::axerr::noValue, {}};
        return {platform::axerr::success, found->second};
    }
    bool hasWindowNumberFunction() override { return windowNumberFunction; }
    platform::AXWindowNumberResult elementWindowNumber(const platform::Element& element) override {
        std::optional<uint32_t> number = node(element).windowNumber;
        if (!number) return {platform::axerr::failure, 0};
        return {platform::axerr::success, *number};
    }
    std::optional<std::vector<platform::WindowRow>>
    copyWindowInfo(platform::WindowListOption option, uint32_t relativeTo) override {
        windowListReads.emplace_back(option, relativeTo);
        if (onWindowListRead) onWindowListRead(option, relativeTo);
        if (!windowListReadable) return std::nullopt;
        std::vector<platform::WindowRow> result;
        for (const platform::WindowRow& row : rows) {
            if (keeps(option, relativeTo, row)) result.push_back(row);
        }
        return result;
    }
    std::vector<platform::RunningApplication> runningApplications() override { return apps; }
    std::optional<platform::RunningApplication> frontmostApplication() override {
        return frontmostPid ? runningApplicationWithPid(*frontmostPid) : std::nullopt;
    }
    std::vector<platform::RunningApplication>
    runningApplicationsWithBundleId(const std::string& bundleId) override {
        std::vector<platform::RunningApplication> found;
        for (const auto& app : apps) {
            if (app.bundleIdentifier == bundleId) found.push_back(app);
        }
        return found;
    }
    std::optional<platform::RunningApplication> runningApplicationWithPid(int32_t pid) override {
        for (const auto& app : apps) {
            if (app.pid == pid) return app;
        }
        return std::nullopt;
    }

private:
    bool keeps(platform::WindowListOption option, uint32_t relativeTo,
               const platform::WindowRow& row) {
        if (!row.is_object()) return true; // garbage reaches the reader as it is
        const platform::WindowRow* number =
            row.contains("kCGWindowNumber") ? &row["kCGWindowNumber"] : nullptr;
        const bool onScreen = row.value("kCGWindowIsOnscreen", false);
        switch (option) {
        case platform::WindowListOption::all:
            return true;
        case platform::WindowListOption::includingWindow:
            return number && number->is_number() && number->get<double>() == relativeTo &&
                   std::find(missingFromSingleWindowRead.begin(), missingFromSingleWindowRead.end(),
                             relativeTo) == missingFromSingleWindowRead.end();
        case platform::WindowListOption::onScreenOnly:
        case platform::WindowListOption::onScreenWithoutDesktop:
            return onScreen;
        default:
            return false;
        }
    }

    std::vector<Node> nodes_;
    std::map<int32_t, platform::Element> applications_;
};

} // namespace dorvex::testing
