#pragma once

// AT-SPI speaks D-Bus; this is the thin, bounded layer over libdbus that the binding uses:
// owned messages, a private connection to the accessibility bus, and calls sent together so
// that several questions to one application cost one round trip.
#include <atomic>
#include <cstdint>
#include <dbus/dbus.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dorvex::platform::linux_desktop {

struct MessageRelease {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, MessageRelease>;

// An object on the bus: the unique name of its connection and its object path.
struct ObjectRef {
    std::string bus;
    std::string path;
    bool operator==(const ObjectRef&) const = default;
};

// One method call to build: destination, path, interface, member.
Message methodCall(const ObjectRef& target, const char* interface, const char* member);
void appendString(DBusMessage* message, const std::string& value);
void appendInt32(DBusMessage* message, int32_t value);
void appendUint32(DBusMessage* message, uint32_t value);
// org.freedesktop.DBus.Properties.Get of one property.
Message propertyGet(const ObjectRef& target, const char* interface, const char* property);

// Readers of a reply; each gives nothing when the reply is an error or of another shape.
std::optional<std::string> replyString(DBusMessage* reply);               // s or v(s)
std::optional<uint32_t> replyUint32(DBusMessage* reply);                  // u or v(u)
std::optional<int32_t> replyInt32(DBusMessage* reply);                    // i or v(i)
std::optional<double> replyDouble(DBusMessage* reply);                    // d or v(d)
std::optional<bool> replyBool(DBusMessage* reply);                        // b
std::optional<ObjectRef> replyRef(DBusMessage* reply);                    // (so) or v((so))
std::optional<std::vector<ObjectRef>> replyRefs(DBusMessage* reply);      // a(so)
std::optional<std::vector<std::string>> replyStrings(DBusMessage* reply); // as
std::optional<std::vector<uint32_t>> replyUint32s(DBusMessage* reply);    // au
std::optional<std::vector<int32_t>> replyInt32s(DBusMessage* reply);      // (iiii)
// a(sss): the first string of each entry (action names).
std::optional<std::vector<std::string>> replyFirstStrings(DBusMessage* reply);
// The D-Bus error name of an error reply, empty otherwise.
std::string errorName(DBusMessage* reply);

struct PendingRelease {
    void operator()(DBusPendingCall* pending) const {
        dbus_pending_call_cancel(pending);
        dbus_pending_call_unref(pending);
    }
};
// A call sent ahead of need; dropping it unanswered cancels it.
using Pending = std::unique_ptr<DBusPendingCall, PendingRelease>;

// A private connection to one bus. Calls are bounded by a time-out; a hung peer answers with
// an error when it runs out.
class BusConnection {
public:
    static std::unique_ptr<BusConnection> open(const std::string& address);
    static std::unique_ptr<BusConnection> session();
    ~BusConnection();
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    // Sends every call at once, then waits for each answer: one round trip for the batch.
    // An answer that did not come is null.
    std::vector<Message> callAll(std::vector<Message> calls, int timeoutMs);
    Message call(Message message, int timeoutMs);
    // Sends calls now, to be collected later with `collect`: one round trip for all of them.
    std::vector<Pending> sendAll(std::vector<Message> calls, int timeoutMs);
    Message collect(Pending pending);
    uint64_t roundTrips() const { return roundTrips_.load(); }
    // Wall time spent waiting for answers, in nanoseconds.
    uint64_t waitedNanos() const { return waitedNanos_.load(); }

private:
    explicit BusConnection(DBusConnection* connection) : connection_(connection) {}
    DBusConnection* connection_;
    std::mutex lock_; // one batch at a time: the app inventory reads from a worker
    std::atomic<uint64_t> roundTrips_{0};
    std::atomic<uint64_t> waitedNanos_{0};
};

} // namespace dorvex::platform::linux_desktop
