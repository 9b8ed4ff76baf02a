#pragma once

// One request's view of an application's accessible objects, read in a single call of
// AT-SPI's cache interface (org.a11y.atspi.Cache.GetItems): for every object its parent,
// children, role, name, description, interfaces and states. The driver asks for nothing to be
// kept between requests, so the binding forgets every snapshot before each one.
#include "platform/linux/AtspiTables.h"
#include "platform/linux/DBusCalls.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace dorvex::platform::linux_desktop {

struct CachedObject {
    ObjectRef parent;
    int32_t childCount = 0;
    std::vector<std::string> interfaces;
    std::string name;
    uint32_t role = 0;
    std::string description;
    AtspiStates states;
    std::optional<std::vector<ObjectRef>> children; // none when the snapshot lacks some
};

class AtspiSnapshots {
public:
    // The object as its application's snapshot has it (reading the snapshot on first use in
    // this request); nothing when the application offers no cache or lacks the object.
    std::optional<CachedObject> find(BusConnection& connection, const ObjectRef& object,
                                     int timeoutMs);
    void forget();

private:
    using Objects = std::map<std::string, CachedObject>; // by path
    static Objects read(BusConnection& connection, const std::string& bus, int timeoutMs);

    std::mutex lock_;
    std::map<std::string, Objects> apps_; // by bus name; empty when the app has no cache
};

} // namespace dorvex::platform::linux_desktop
