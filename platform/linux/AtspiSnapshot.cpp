#include "platform/linux/AtspiSnapshot.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace dorvex::platform::linux_desktop {
namespace {

constexpr const char* itemSignature = "a((so)(so)(so)iiassusau)";

std::optional<ObjectRef> refAt(DBusMessageIter& iter) {
    if (dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_STRUCT) return std::nullopt;
    DBusMessageIter fields;
    dbus_message_iter_recurse(&iter, &fields);
    const char* bus = nullptr;
    const char* path = nullptr;
    dbus_message_iter_get_basic(&fields, &bus);
    dbus_message_iter_next(&fields);
    dbus_message_iter_get_basic(&fields, &path);
    return ObjectRef{bus, path};
}

template <typename T> T basicAt(DBusMessageIter& iter) {
    T value{};
    dbus_message_iter_get_basic(&iter, &value);
    return value;
}

std::vector<std::string> stringsAt(DBusMessageIter& iter) {
    std::vector<std::string> values;
    DBusMessageIter items;
    dbus_message_iter_recurse(&iter, &items);
    while (dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_STRING) {
        values.emplace_back(basicAt<const char*>(items));
        dbus_message_iter_next(&items);
    }
    return values;
}

std::vector<uint32_t> wordsAt(DBusMessageIter& iter) {
    std::vector<uint32_t> values;
    DBusMessageIter items;
    dbus_message_iter_recurse(&iter, &items);
    while (dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_UINT32) {
        values.push_back(basicAt<dbus_uint32_t>(items));
        dbus_message_iter_next(&items);
    }
    return values;
}

// One item: (object, app, parent, index in parent, child count, interfaces, name, role,
// description, states). The signature was checked, so every field is where it should be.
std::pair<std::string, std::pair<int32_t, CachedObject>> itemAt(DBusMessageIter& item) {
    DBusMessageIter field;
    dbus_message_iter_recurse(&item, &field);
    const ObjectRef object = *refAt(field);
    dbus_message_iter_next(&field); // the application
    dbus_message_iter_next(&field);
    CachedObject cached;
    cached.parent = *refAt(field);
    dbus_message_iter_next(&field);
    const int32_t index = basicAt<dbus_int32_t>(field);
    dbus_message_iter_next(&field);
    cached.childCount = basicAt<dbus_int32_t>(field);
    dbus_message_iter_next(&field);
    cached.interfaces = stringsAt(field);
    dbus_message_iter_next(&field);
    cached.name = basicAt<const char*>(field);
    dbus_message_iter_next(&field);
    cached.role = basicAt<dbus_uint32_t>(field);
    dbus_message_iter_next(&field);
    cached.description = basicAt<const char*>(field);
    dbus_message_iter_next(&field);
    cached.states = statesFrom(wordsAt(field));
    return {object.path, {index, std::move(cached)}};
}

} // namespace

AtspiSnapshots::Objects AtspiSnapshots::read(BusConnection& connection, const std::string& bus,
                                             int timeoutMs) {
    Message reply = connection.call(
        methodCall({bus, "/org/a11y/atspi/cache"}, "org.a11y.atspi.Cache", "GetItems"), timeoutMs);
    Objects objects;
    if (!reply || dbus_message_get_type(reply.get()) != DBUS_MESSAGE_TYPE_METHOD_RETURN ||
        std::strcmp(dbus_message_get_signature(reply.get()), itemSignature) != 0) {
        return objects;
    }
    DBusMessageIter iter;
    DBusMessageIter items;
    dbus_message_iter_init(reply.get(), &iter);
    dbus_message_iter_recurse(&iter, &items);
    std::map<std::string, std::vector<std::pair<int32_t, ObjectRef>>> children;
    while (dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_STRUCT) {
        auto [path, entry] = itemAt(items);
        children[entry.second.parent.path].push_back({entry.first, ObjectRef{bus, path}});
        objects[path] = std::move(entry.second);
        dbus_message_iter_next(&items);
    }
    // Children in their parent's order; a parent whose children the cache does not all hold
    // (it manages its descendants) is asked for them when they are read.
    for (auto& [path, object] : objects) {
        std::vector<std::pair<int32_t, ObjectRef>>& listed = children[path];
        std::sort(listed.begin(), listed.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        if (static_cast<int32_t>(listed.size()) != object.childCount) continue;
        std::vector<ObjectRef> refs;
        for (auto& [index, ref] : listed)
            refs.push_back(std::move(ref));
        object.children = std::move(refs);
    }
    return objects;
}

std::optional<CachedObject> AtspiSnapshots::find(BusConnection& connection, const ObjectRef& object,
                                                 int timeoutMs) {
    {
        std::lock_guard guard(lock_);
        auto app = apps_.find(object.bus);
        if (app != apps_.end()) {
            auto found = app->second.find(object.path);
            if (found == app->second.end()) return std::nullopt;
            return found->second;
        }
    }
    Objects objects = read(connection, object.bus, timeoutMs);
    std::lock_guard guard(lock_);
    auto& app = apps_[object.bus];
    app = std::move(objects);
    auto found = app.find(object.path);
    if (found == app.end()) return std::nullopt;
    return found->second;
}

void AtspiSnapshots::forget() {
    std::lock_guard guard(lock_);
    apps_.clear();
}

} // namespace dorvex::platform::linux_desktop
