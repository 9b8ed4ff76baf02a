#include "platform/linux/DBusCalls.h"

#include <chrono>
#include <cstring>

namespace dorvex::platform::linux_desktop {
namespace {

// The reply's first argument, entering a variant when the value is wrapped in one.
bool firstArgument(DBusMessage* reply, DBusMessageIter& iter) {
    if (reply == nullptr || dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_METHOD_RETURN) {
        return false;
    }
    if (!dbus_message_iter_init(reply, &iter)) return false;
    if (dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
        DBusMessageIter inner;
        dbus_message_iter_recurse(&iter, &inner);
        iter = inner;
    }
    return true;
}

template <typename T> std::optional<T> basic(DBusMessage* reply, int type) {
    DBusMessageIter iter;
    if (!firstArgument(reply, iter) || dbus_message_iter_get_arg_type(&iter) != type) {
        return std::nullopt;
    }
    T value{};
    dbus_message_iter_get_basic(&iter, &value);
    return value;
}

std::optional<ObjectRef> readRef(DBusMessageIter& iter) {
    if (dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_STRUCT) return std::nullopt;
    DBusMessageIter fields;
    dbus_message_iter_recurse(&iter, &fields);
    if (dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_STRING) return std::nullopt;
    const char* bus = nullptr;
    dbus_message_iter_get_basic(&fields, &bus);
    dbus_message_iter_next(&fields);
    if (dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_OBJECT_PATH) return std::nullopt;
    const char* path = nullptr;
    dbus_message_iter_get_basic(&fields, &path);
    return ObjectRef{bus, path};
}

// Each element of an array argument, read by `element`; nothing when one does not read.
template <typename T, typename Read>
std::optional<std::vector<T>> array(DBusMessage* reply, Read element) {
    DBusMessageIter iter;
    if (!firstArgument(reply, iter) || dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_ARRAY) {
        return std::nullopt;
    }
    DBusMessageIter items;
    dbus_message_iter_recurse(&iter, &items);
    std::vector<T> values;
    while (dbus_message_iter_get_arg_type(&items) != DBUS_TYPE_INVALID) {
        std::optional<T> value = element(items);
        if (!value) return std::nullopt;
        values.push_back(std::move(*value));
        dbus_message_iter_next(&items);
    }
    return values;
}

template <typename T> std::optional<T> basicAt(DBusMessageIter& iter, int type) {
    if (dbus_message_iter_get_arg_type(&iter) != type) return std::nullopt;
    T value{};
    dbus_message_iter_get_basic(&iter, &value);
    return value;
}

} // namespace

Message methodCall(const ObjectRef& target, const char* interface, const char* member) {
    return Message(
        dbus_message_new_method_call(target.bus.c_str(), target.path.c_str(), interface, member));
}

void appendString(DBusMessage* message, const std::string& value) {
    const char* text = value.c_str();
    dbus_message_append_args(message, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
}

void appendInt32(DBusMessage* message, int32_t value) {
    dbus_int32_t v = value;
    dbus_message_append_args(message, DBUS_TYPE_INT32, &v, DBUS_TYPE_INVALID);
}

void appendUint32(DBusMessage* message, uint32_t value) {
    dbus_uint32_t v = value;
    dbus_message_append_args(message, DBUS_TYPE_UINT32, &v, DBUS_TYPE_INVALID);
}

Message propertyGet(const ObjectRef& target, const char* interface, const char* property) {
    Message message = methodCall(target, DBUS_INTERFACE_PROPERTIES, "Get");
    appendString(message.get(), interface);
    appendString(message.get(), property);
    return message;
}

std::optional<std::string> replyString(DBusMessage* reply) {
    DBusMessageIter iter;
    if (!firstArgument(reply, iter)) return std::nullopt;
    const int type = dbus_message_iter_get_arg_type(&iter);
    if (type != DBUS_TYPE_STRING && type != DBUS_TYPE_OBJECT_PATH) return std::nullopt;
    const char* text = nullptr;
    dbus_message_iter_get_basic(&iter, &text);
    return std::string(text);
}

std::optional<uint32_t> replyUint32(DBusMessage* reply) {
    return basic<dbus_uint32_t>(reply, DBUS_TYPE_UINT32);
}

std::optional<int32_t> replyInt32(DBusMessage* reply) {
    return basic<dbus_int32_t>(reply, DBUS_TYPE_INT32);
}

std::optional<double> replyDouble(DBusMessage* reply) {
    return basic<double>(reply, DBUS_TYPE_DOUBLE);
}

std::optional<bool> replyBool(DBusMessage* reply) {
    std::optional<dbus_bool_t> value = basic<dbus_bool_t>(reply, DBUS_TYPE_BOOLEAN);
    if (!value) return std::nullopt;
    return *value != 0;
}

std::optional<ObjectRef> replyRef(DBusMessage* reply) {
    DBusMessageIter iter;
    if (!firstArgument(reply, iter)) return std::nullopt;
    return readRef(iter);
}

std::optional<std::vector<ObjectRef>> replyRefs(DBusMessage* reply) {
    return array<ObjectRef>(reply, [](DBusMessageIter& item) { return readRef(item); });
}

std::optional<std::vector<std::string>> replyStrings(DBusMessage* reply) {
    return array<std::string>(reply, [](DBusMessageIter& item) -> std::optional<std::string> {
        std::optional<const char*> text = basicAt<const char*>(item, DBUS_TYPE_STRING);
        if (!text) return std::nullopt;
        return std::string(*text);
    });
}

std::optional<std::vector<uint32_t>> replyUint32s(DBusMessage* reply) {
    return array<uint32_t>(reply, [](DBusMessageIter& item) {
        return basicAt<dbus_uint32_t>(item, DBUS_TYPE_UINT32);
    });
}

std::optional<std::vector<int32_t>> replyInt32s(DBusMessage* reply) {
    DBusMessageIter iter;
    if (!firstArgument(reply, iter) || dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_STRUCT) {
        return std::nullopt;
    }
    DBusMessageIter fields;
    dbus_message_iter_recurse(&iter, &fields);
    std::vector<int32_t> values;
    while (dbus_message_iter_get_arg_type(&fields) == DBUS_TYPE_INT32) {
        dbus_int32_t value = 0;
        dbus_message_iter_get_basic(&fields, &value);
        values.push_back(value);
        dbus_message_iter_next(&fields);
    }
    return values;
}

std::optional<std::vector<std::string>> replyFirstStrings(DBusMessage* reply) {
    return array<std::string>(reply, [](DBusMessageIter& item) -> std::optional<std::string> {
        if (dbus_message_iter_get_arg_type(&item) != DBUS_TYPE_STRUCT) return std::nullopt;
        DBusMessageIter fields;
        dbus_message_iter_recurse(&item, &fields);
        std::optional<const char*> text = basicAt<const char*>(fields, DBUS_TYPE_STRING);
        if (!text) return std::nullopt;
        return std::string(*text);
    });
}

std::string errorName(DBusMessage* reply) {
    if (reply == nullptr || dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_ERROR) return {};
    const char* name = dbus_message_get_error_name(reply);
    return name ? name : "";
}

std::unique_ptr<BusConnection> BusConnection::open(const std::string& address) {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* connection = dbus_connection_open_private(address.c_str(), &error);
    if (connection == nullptr) {
        dbus_error_free(&error);
        return nullptr;
    }
    // Our exit is our own: a closed bus must not end the driver.
    dbus_connection_set_exit_on_disconnect(connection, FALSE);
    if (!dbus_bus_register(connection, &error)) {
        dbus_error_free(&error);
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
        return nullptr;
    }
    return std::unique_ptr<BusConnection>(new BusConnection(connection));
}

std::unique_ptr<BusConnection> BusConnection::session() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address == nullptr || *address == '\0') return nullptr;
    return open(address);
}

BusConnection::~BusConnection() {
    dbus_connection_close(connection_);
    dbus_connection_unref(connection_);
}

std::vector<Message> BusConnection::callAll(std::vector<Message> calls, int timeoutMs) {
    std::lock_guard guard(lock_);
    const auto start = std::chrono::steady_clock::now();
    std::vector<DBusPendingCall*> pending(calls.size(), nullptr);
    for (size_t i = 0; i < calls.size(); ++i) {
        if (!calls[i]) continue;
        if (!dbus_connection_send_with_reply(connection_, calls[i].get(), &pending[i], timeoutMs)) {
            pending[i] = nullptr;
        }
    }
    dbus_connection_flush(connection_);
    ++roundTrips_;
    std::vector<Message> replies(calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        if (pending[i] == nullptr) continue;
        dbus_pending_call_block(pending[i]);
        replies[i] = Message(dbus_pending_call_steal_reply(pending[i]));
        dbus_pending_call_unref(pending[i]);
    }
    // Signals we never asked to hear would otherwise pile up.
    while (dbus_connection_dispatch(connection_) == DBUS_DISPATCH_DATA_REMAINS) {
    }
    waitedNanos_ += static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              std::chrono::steady_clock::now() - start)
                                              .count());
    return replies;
}

std::vector<Pending> BusConnection::sendAll(std::vector<Message> calls, int timeoutMs) {
    std::lock_guard guard(lock_);
    std::vector<Pending> sent(calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        DBusPendingCall* pending = nullptr;
        if (calls[i] &&
            dbus_connection_send_with_reply(connection_, calls[i].get(), &pending, timeoutMs)) {
            sent[i] = Pending(pending);
        }
    }
    dbus_connection_flush(connection_);
    ++roundTrips_;
    return sent;
}

Message BusConnection::collect(Pending pending) {
    if (!pending) return nullptr;
    std::lock_guard guard(lock_);
    const auto start = std::chrono::steady_clock::now();
    dbus_pending_call_block(pending.get());
    Message reply(dbus_pending_call_steal_reply(pending.get()));
    waitedNanos_ += static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              std::chrono::steady_clock::now() - start)
                                              .count());
    return reply;
}

Message BusConnection::call(Message message, int timeoutMs) {
    std::vector<Message> calls;
    calls.push_back(std::move(message));
    return std::move(callAll(std::move(calls), timeoutMs).front());
}

} // namespace dorvex::platform::linux_desktop
