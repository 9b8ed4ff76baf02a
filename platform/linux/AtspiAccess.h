#pragma once

// The accessibility facet over AT-SPI2: elements are objects on the accessibility bus, read
// with bounded calls; the attributes a node is read with travel together in one round trip.
#include "platform/linux/AtspiSnapshot.h"
#include "platform/linux/DBusCalls.h"
#include "platform/types/AX.h"
#include "platform/types/Geometry.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace dorvex::platform::linux_desktop {

// What the window server knows about the top window at a point: its owner and frame.
struct WindowAtPoint {
    int32_t pid = 0;
    Rect frame;
};

// One application on the accessibility bus.
struct AtspiApplication {
    ObjectRef root;
    int32_t pid = 0;
    std::string name;
};

class AtspiAccess {
public:
    // `windowAt` answers the system-wide hit test's first question: whose window is there.
    explicit AtspiAccess(std::function<std::optional<WindowAtPoint>(Point)> windowAt);

    // Calls made to applications that would hang wait this long at most, unless an element's
    // own time-out says otherwise.
    static constexpr int defaultTimeoutMs = 3000;

    bool reachable();
    // Drops what the last request read in bulk; called before each request.
    void forgetSnapshots();
    // The applications the registry knows, with their pids (safe from any thread).
    std::vector<AtspiApplication> applications();
    uint64_t roundTrips();
    uint64_t waitedNanos();

    Element createApplicationElement(int32_t pid);
    Element createSystemWideElement();
    AXElementResult copyElementAtPosition(const Element& root, Point point);
    AXPidResult elementPid(const Element& element);
    int32_t setMessagingTimeout(const Element& element, double seconds);
    AXAttributeResult copyAttributeValue(const Element& element, const std::string& attribute);
    AXAttributesResult copyMultipleAttributeValues(const Element& element,
                                                   const std::vector<std::string>& attributes);
    AXNamesResult copyAttributeNames(const Element& element);
    int32_t performAction(const Element& element, const std::string& action);
    int32_t setStringAttribute(const Element& element, const std::string& attribute,
                               const std::string& value);
    bool sameElement(const Element& a, const Element& b);

private:
    BusConnection* bus();
    std::optional<int32_t> pidOfBus(const std::string& name);
    std::map<std::string, int32_t> pidsOf(const std::vector<ObjectRef>& roots);

    std::function<std::optional<WindowAtPoint>(Point)> windowAt_;
    std::mutex lock_; // the connection's opening and the pid table
    bool tried_ = false;
    std::unique_ptr<BusConnection> bus_;
    std::map<std::string, int32_t> busPids_; // unique names are never reused on a bus
    AtspiSnapshots snapshots_;
    // Questions about children sent while their parent was read, by bus name and path, and
    // ask; dropped with the snapshots.
    std::map<std::pair<std::string, size_t>, Pending> ahead_;
    void askAhead(BusConnection& connection, const std::vector<ObjectRef>& children, int timeoutMs);
    Message takeAhead(BusConnection& connection, const ObjectRef& object, size_t ask);
};

} // namespace dorvex::platform::linux_desktop
