#include "platform/linux/AtspiAccess.h"

#include "platform/linux/AtspiTables.h"

#include <algorithm>
#include <array>
#include <atspi/atspi-constants.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <set>

namespace dorvex::platform::linux_desktop {
namespace {

constexpr const char* accessibleIface = "org.a11y.atspi.Accessible";
constexpr const char* componentIface = "org.a11y.atspi.Component";
constexpr const char* actionIface = "org.a11y.atspi.Action";
constexpr const char* textIface = "org.a11y.atspi.Text";
constexpr const char* editableTextIface = "org.a11y.atspi.EditableText";
constexpr const char* valueIface = "org.a11y.atspi.Value";
constexpr const char* rootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* nullPath = "/org/a11y/atspi/null";
const ObjectRef registryRoot{"org.a11y.atspi.Registry", rootPath};
constexpr int maxHitDepth = 64;
constexpr int maxParentDepth = 64;

// The binding's element: an object on the bus, the system-wide element, or an application
// that is not on the bus. What one batched read learns of the object's kind is kept with the
// element, which lives as long as the request that read it.
struct Node {
    enum class Kind { object, systemWide, missingApp };
    Kind kind = Kind::object;
    ObjectRef ref;
    int32_t pid = 0;
    mutable int timeoutMs = 0;
    mutable std::optional<uint32_t> role;
    mutable std::optional<AtspiStates> states;
    mutable std::optional<std::vector<std::string>> interfaces;

    int timeout() const { return timeoutMs > 0 ? timeoutMs : AtspiAccess::defaultTimeoutMs; }
    bool known() const { return role && states && interfaces; }
    bool has(const char* interface) const {
        return interfaces &&
               std::find(interfaces->begin(), interfaces->end(), interface) != interfaces->end();
    }
    bool isAppRoot() const { return kind == Kind::object && ref.path == rootPath; }
};

const Node* nodeOf(const Element& element) {
    return static_cast<const Node*>(element.raw());
}

Element makeElement(Node node) {
    return Element(std::shared_ptr<const void>(std::make_shared<const Node>(std::move(node))));
}

Element objectElement(ObjectRef ref) {
    Node node;
    node.ref = std::move(ref);
    return makeElement(std::move(node));
}

bool isNullRef(const ObjectRef& ref) {
    return ref.bus.empty() || ref.path.empty() || ref.path == nullPath;
}

int32_t codeOf(DBusMessage* reply) {
    if (reply == nullptr) return axerr::cannotComplete;
    if (dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN) return axerr::success;
    const std::string name = errorName(reply);
    static const std::set<std::string> unsupported = {
        DBUS_ERROR_UNKNOWN_METHOD, DBUS_ERROR_UNKNOWN_INTERFACE, DBUS_ERROR_UNKNOWN_PROPERTY,
        DBUS_ERROR_INVALID_ARGS, DBUS_ERROR_NOT_SUPPORTED};
    static const std::set<std::string> gone = {
        DBUS_ERROR_UNKNOWN_OBJECT, DBUS_ERROR_SERVICE_UNKNOWN, DBUS_ERROR_NAME_HAS_NO_OWNER,
        DBUS_ERROR_DISCONNECTED};
    if (unsupported.count(name)) return axerr::attributeUnsupported;
    if (gone.count(name)) return axerr::invalidUIElement;
    if (name == DBUS_ERROR_NO_REPLY || name == DBUS_ERROR_TIMEOUT) return axerr::cannotComplete;
    return axerr::failure;
}

AXAttributeResult fail(int32_t code) {
    return AXAttributeResult{code, {}};
}
AXAttributeResult ok(AXValue value) {
    return AXAttributeResult{axerr::success, std::move(value)};
}

// The questions one batch may put to an object.
enum Ask : size_t {
    askRole,
    askStates,
    askInterfaces,
    askName,
    askDescription,
    askIdentifier,
    askParent,
    askChildren,
    askExtents,
    askActions,
    askCount,
};

Message question(const ObjectRef& ref, Ask ask) {
    switch (ask) {
    case askRole:
        return methodCall(ref, accessibleIface, "GetRole");
    case askStates:
        return methodCall(ref, accessibleIface, "GetState");
    case askInterfaces:
        return methodCall(ref, accessibleIface, "GetInterfaces");
    case askName:
        return propertyGet(ref, accessibleIface, "Name");
    case askDescription:
        return propertyGet(ref, accessibleIface, "Description");
    case askIdentifier:
        return propertyGet(ref, accessibleIface, "AccessibleId");
    case askParent:
        return propertyGet(ref, accessibleIface, "Parent");
    case askChildren:
        return methodCall(ref, accessibleIface, "GetChildren");
    case askExtents: {
        Message message = methodCall(ref, componentIface, "GetExtents");
        appendUint32(message.get(), ATSPI_COORD_TYPE_SCREEN);
        return message;
    }
    case askActions:
        return methodCall(ref, actionIface, "GetActions");
    case askCount:
        break;
    }
    return nullptr;
}

// The asks an attribute needs beyond the object's kind (role, states, interfaces).
std::vector<Ask> asksFor(const std::string& attribute) {
    if (attribute == "AXTitle") return {askName};
    if (attribute == "AXDescription") return {askDescription};
    if (attribute == "AXIdentifier") return {askIdentifier};
    if (attribute == "AXParent") return {askParent};
    if (attribute == "AXChildren" || attribute == "AXWindows") return {askChildren};
    if (attribute == "AXPosition" || attribute == "AXSize") return {askExtents};
    if (attribute == "AXActions") return {askActions};
    return {};
}

AXAttributeResult stringAnswer(DBusMessage* reply) {
    const int32_t code = codeOf(reply);
    if (code != axerr::success) return fail(code);
    std::optional<std::string> text = replyString(reply);
    if (!text) return fail(axerr::failure);
    if (text->empty()) return fail(axerr::noValue);
    return ok(AXValue{*text});
}

AXAttributeResult elementsAnswer(DBusMessage* reply) {
    const int32_t code = codeOf(reply);
    if (code != axerr::success) return fail(code);
    std::optional<std::vector<ObjectRef>> refs = replyRefs(reply);
    if (!refs) return fail(axerr::failure);
    AXValueList list;
    for (ObjectRef& ref : *refs) {
        if (!isNullRef(ref)) list.push_back(AXValue{objectElement(std::move(ref))});
    }
    return ok(AXValue{std::move(list)});
}

AXAttributeResult extentsAnswer(DBusMessage* reply, bool position) {
    const int32_t code = codeOf(reply);
    if (code != axerr::success) return fail(code);
    std::optional<std::vector<int32_t>> box = replyInt32s(reply);
    if (!box || box->size() != 4) return fail(axerr::failure);
    if (position) return ok(AXValue{Point{double((*box)[0]), double((*box)[1])}});
    return ok(AXValue{Size{double((*box)[2]), double((*box)[3])}});
}

AXAttributeResult actionsAnswer(DBusMessage* reply) {
    const int32_t code = codeOf(reply);
    if (code == axerr::attributeUnsupported) return ok(AXValue{AXValueList{}});
    if (code != axerr::success) return fail(code);
    std::optional<std::vector<std::string>> names = replyFirstStrings(reply);
    if (!names) return fail(axerr::failure);
    AXValueList list;
    for (std::string& name : axActionNames(*names))
        list.push_back(AXValue{std::move(name)});
    return ok(AXValue{std::move(list)});
}

AXAttributeResult stateAnswer(const Node& node, uint32_t state) {
    if (!node.states) return fail(axerr::cannotComplete);
    return ok(AXValue{AXNumber{node.states->has(state) ? 1.0 : 0.0, true}});
}

// What one batch learned, by ask.
struct Answers {
    std::array<Message, askCount> replies;
    DBusMessage* operator[](Ask ask) const { return replies[ask].get(); }
};

} // namespace

void AtspiAccess::forgetSnapshots() {
    snapshots_.forget();
    ahead_.clear();
}

AtspiAccess::AtspiAccess(std::function<std::optional<WindowAtPoint>(Point)> windowAt)
    : windowAt_(std::move(windowAt)) {}

BusConnection* AtspiAccess::bus() {
    std::lock_guard guard(lock_);
    if (bus_ || tried_) return bus_.get();
    tried_ = true;
    std::string address;
    if (const char* given = std::getenv("AT_SPI_BUS_ADDRESS"); given && *given) {
        address = given;
    } else if (std::unique_ptr<BusConnection> session = BusConnection::session()) {
        Message reply = session->call(
            methodCall({"org.a11y.Bus", "/org/a11y/bus"}, "org.a11y.Bus", "GetAddress"),
            defaultTimeoutMs);
        address = replyString(reply.get()).value_or("");
    }
    if (!address.empty()) bus_ = BusConnection::open(address);
    return bus_.get();
}

bool AtspiAccess::reachable() {
    return bus() != nullptr;
}

uint64_t AtspiAccess::roundTrips() {
    BusConnection* connection = bus();
    return connection ? connection->roundTrips() : 0;
}

uint64_t AtspiAccess::waitedNanos() {
    BusConnection* connection = bus();
    return connection ? connection->waitedNanos() : 0;
}

std::optional<int32_t> AtspiAccess::pidOfBus(const std::string& name) {
    std::map<std::string, int32_t> pids = pidsOf({ObjectRef{name, rootPath}});
    auto found = pids.find(name);
    if (found == pids.end()) return std::nullopt;
    return found->second;
}

std::map<std::string, int32_t> AtspiAccess::pidsOf(const std::vector<ObjectRef>& roots) {
    BusConnection* connection = bus();
    std::map<std::string, int32_t> pids;
    if (connection == nullptr) return pids;
    std::vector<std::string> unknown;
    {
        std::lock_guard guard(lock_);
        for (const ObjectRef& root : roots) {
            auto found = busPids_.find(root.bus);
            if (found != busPids_.end()) {
                pids[root.bus] = found->second;
            } else if (std::find(unknown.begin(), unknown.end(), root.bus) == unknown.end()) {
                unknown.push_back(root.bus);
            }
        }
    }
    if (unknown.empty()) return pids;
    std::vector<Message> calls;
    for (const std::string& name : unknown) {
        Message message = methodCall({DBUS_SERVICE_DBUS, DBUS_PATH_DBUS}, DBUS_INTERFACE_DBUS,
                                     "GetConnectionUnixProcessID");
        appendString(message.get(), name);
        calls.push_back(std::move(message));
    }
    std::vector<Message> replies = connection->callAll(std::move(calls), defaultTimeoutMs);
    std::lock_guard guard(lock_);
    for (size_t i = 0; i < unknown.size(); ++i) {
        if (std::optional<uint32_t> pid = replyUint32(replies[i].get())) {
            busPids_[unknown[i]] = static_cast<int32_t>(*pid);
            pids[unknown[i]] = static_cast<int32_t>(*pid);
        }
    }
    return pids;
}

std::vector<AtspiApplication> AtspiAccess::applications() {
    BusConnection* connection = bus();
    if (connection == nullptr) return {};
    Message reply = connection->call(methodCall(registryRoot, accessibleIface, "GetChildren"),
                                     defaultTimeoutMs);
    std::vector<ObjectRef> roots = replyRefs(reply.get()).value_or(std::vector<ObjectRef>{});
    std::erase_if(roots, isNullRef);
    std::map<std::string, int32_t> pids = pidsOf(roots);
    std::vector<Message> calls;
    for (const ObjectRef& root : roots)
        calls.push_back(question(root, askName));
    std::vector<Message> names = connection->callAll(std::move(calls), defaultTimeoutMs);
    std::vector<AtspiApplication> apps;
    for (size_t i = 0; i < roots.size(); ++i) {
        auto pid = pids.find(roots[i].bus);
        if (pid == pids.end()) continue;
        apps.push_back({roots[i], pid->second, replyString(names[i].get()).value_or("")});
    }
    return apps;
}

Element AtspiAccess::createApplicationElement(int32_t pid) {
    for (AtspiApplication& app : applications()) {
        if (app.pid == pid) return objectElement(std::move(app.root));
    }
    Node node;
    node.kind = Node::Kind::missingApp;
    node.pid = pid;
    return makeElement(std::move(node));
}

Element AtspiAccess::createSystemWideElement() {
    Node node;
    node.kind = Node::Kind::systemWide;
    return makeElement(std::move(node));
}

int32_t AtspiAccess::setMessagingTimeout(const Element& element, double seconds) {
    const Node* node = nodeOf(element);
    if (node == nullptr || !(seconds >= 0)) return axerr::illegalArgument;
    node->timeoutMs = seconds > 0 ? static_cast<int>(std::ceil(seconds * 1000)) : 0;
    return axerr::success;
}

AXPidResult AtspiAccess::elementPid(const Element& element) {
    const Node* node = nodeOf(element);
    if (node == nullptr || node->kind == Node::Kind::systemWide)
        return {axerr::illegalArgument, {}};
    if (node->kind == Node::Kind::missingApp) return {axerr::success, node->pid};
    std::optional<int32_t> pid = pidOfBus(node->ref.bus);
    if (!pid) return {axerr::invalidUIElement, {}};
    return {axerr::success, *pid};
}

bool AtspiAccess::sameElement(const Element& a, const Element& b) {
    const Node* left = nodeOf(a);
    const Node* right = nodeOf(b);
    if (left == nullptr || right == nullptr || left->kind != right->kind) return false;
    switch (left->kind) {
    case Node::Kind::object:
        return left->ref == right->ref;
    case Node::Kind::missingApp:
        return left->pid == right->pid;
    case Node::Kind::systemWide:
        return true;
    }
    return false;
}

// --- Reading attributes -------------------------------------------------------------------

namespace {

Message localReply() {
    return Message(dbus_message_new(DBUS_MESSAGE_TYPE_METHOD_RETURN));
}

// The answer an object lacking the interface would give.
Message localMissingInterface() {
    Message message(dbus_message_new(DBUS_MESSAGE_TYPE_ERROR));
    dbus_message_set_error_name(message.get(), DBUS_ERROR_UNKNOWN_INTERFACE);
    return message;
}

void appendRef(DBusMessageIter& into, const ObjectRef& ref) {
    DBusMessageIter fields;
    const char* bus = ref.bus.c_str();
    const char* path = ref.path.c_str();
    dbus_message_iter_open_container(&into, DBUS_TYPE_STRUCT, nullptr, &fields);
    dbus_message_iter_append_basic(&fields, DBUS_TYPE_STRING, &bus);
    dbus_message_iter_append_basic(&fields, DBUS_TYPE_OBJECT_PATH, &path);
    dbus_message_iter_close_container(&into, &fields);
}

template <typename T>
Message localArray(const char* signature, const std::vector<T>& values,
                   void (*append)(DBusMessageIter&, const T&)) {
    Message message = localReply();
    DBusMessageIter iter;
    DBusMessageIter items;
    dbus_message_iter_init_append(message.get(), &iter);
    dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, signature, &items);
    for (const T& value : values)
        append(items, value);
    dbus_message_iter_close_container(&iter, &items);
    return message;
}

// What the request's snapshot already answers for an ask, as the application would have;
// null when the ask must go to the application.
Message cachedAnswer(Ask ask, const CachedObject& object) {
    auto has = [&](const char* interface) {
        return std::find(object.interfaces.begin(), object.interfaces.end(), interface) !=
               object.interfaces.end();
    };
    Message message;
    switch (ask) {
    case askRole:
        message = localReply();
        appendUint32(message.get(), object.role);
        return message;
    case askName:
        message = localReply();
        appendString(message.get(), object.name);
        return message;
    case askDescription:
        message = localReply();
        appendString(message.get(), object.description);
        return message;
    case askStates: {
        const std::vector<uint32_t> words = {static_cast<uint32_t>(object.states.bits),
                                             static_cast<uint32_t>(object.states.bits >> 32)};
        return localArray<uint32_t>("u", words, [](DBusMessageIter& items, const uint32_t& word) {
            dbus_message_iter_append_basic(&items, DBUS_TYPE_UINT32, &word);
        });
    }
    case askInterfaces:
        return localArray<std::string>(
            "s", object.interfaces, [](DBusMessageIter& items, const std::string& name) {
                const char* text = name.c_str();
                dbus_message_iter_append_basic(&items, DBUS_TYPE_STRING, &text);
            });
    case askParent: {
        message = localReply();
        DBusMessageIter iter;
        dbus_message_iter_init_append(message.get(), &iter);
        appendRef(iter, object.parent);
        return message;
    }
    case askChildren:
        if (!object.children) return nullptr;
        return localArray<ObjectRef>("(so)", *object.children, appendRef);
    case askExtents:
        return has(componentIface) ? nullptr : localMissingInterface();
    case askActions:
        return has(actionIface) ? nullptr : localMissingInterface();
    case askIdentifier:
    case askCount:
        break;
    }
    return nullptr;
}

// Sends every ask of `wanted` (and the object's kind when not yet known) that the snapshot
// cannot answer, all in one round trip.
using Ahead = std::function<Message(size_t ask)>;

Answers askAll(BusConnection& connection, const Node& node, std::array<bool, askCount> wanted,
               const std::optional<CachedObject>& cached, const Ahead& ahead = {}) {
    if (!node.role) wanted[askRole] = true;
    if (!node.states) wanted[askStates] = true;
    if (!node.interfaces) wanted[askInterfaces] = true;
    Answers answers;
    std::vector<Message> calls(askCount);
    bool anyCall = false;
    for (size_t ask = 0; ask < askCount; ++ask) {
        if (!wanted[ask]) continue;
        if (cached) answers.replies[ask] = cachedAnswer(static_cast<Ask>(ask), *cached);
        if (!answers.replies[ask] && ahead) answers.replies[ask] = ahead(ask);
        if (answers.replies[ask]) continue;
        calls[ask] = question(node.ref, static_cast<Ask>(ask));
        anyCall = true;
    }
    if (anyCall) {
        std::vector<Message> replies = connection.callAll(std::move(calls), node.timeout());
        for (size_t ask = 0; ask < askCount; ++ask) {
            if (replies[ask]) answers.replies[ask] = std::move(replies[ask]);
        }
    }
    if (!node.role) {
        if (auto role = replyUint32(answers[askRole])) node.role = *role;
    }
    if (!node.states) {
        if (auto words = replyUint32s(answers[askStates])) node.states = statesFrom(*words);
    }
    if (!node.interfaces) node.interfaces = replyStrings(answers[askInterfaces]);
    return answers;
}

AXAttributeResult roleAnswer(const Node& node, DBusMessage* roleReply) {
    if (!node.role) {
        const int32_t code = codeOf(roleReply);
        return fail(code == axerr::success ? axerr::failure : code);
    }
    return ok(AXValue{axRoleName(*node.role, node.states.value_or(AtspiStates{}))});
}

bool hasValue(const Node& node) {
    if (!node.role || isPasswordRole(*node.role)) return false;
    return isCheckableRole(*node.role) || node.has(valueIface) || node.has(textIface);
}

// The value of an element: its checked state, its number, or its text. A password field's
// text is never asked for.
AXAttributeResult valueAnswer(BusConnection& connection, const Node& node) {
    if (!node.role) return fail(axerr::cannotComplete);
    if (isPasswordRole(*node.role)) return fail(axerr::noValue);
    if (isCheckableRole(*node.role)) return stateAnswer(node, ATSPI_STATE_CHECKED);
    if (node.has(valueIface) && !node.has(textIface)) {
        Message reply =
            connection.call(propertyGet(node.ref, valueIface, "CurrentValue"), node.timeout());
        const int32_t code = codeOf(reply.get());
        if (code != axerr::success) return fail(code);
        std::optional<double> number = replyDouble(reply.get());
        if (!number) return fail(axerr::failure);
        return ok(AXValue{AXNumber{*number, false}});
    }
    if (node.has(textIface)) {
        Message message = methodCall(node.ref, textIface, "GetText");
        appendInt32(message.get(), 0);
        appendInt32(message.get(), -1);
        Message reply = connection.call(std::move(message), node.timeout());
        const int32_t code = codeOf(reply.get());
        if (code != axerr::success) return fail(code);
        std::optional<std::string> text = replyString(reply.get());
        if (!text) return fail(axerr::failure);
        return ok(AXValue{*text});
    }
    return fail(axerr::attributeUnsupported);
}

// The window an element lies in: the last ancestor below the application root.
AXAttributeResult topLevelAnswer(BusConnection& connection, const Node& node) {
    if (node.isAppRoot()) return fail(axerr::noValue);
    ObjectRef current = node.ref;
    for (int depth = 0; depth < maxParentDepth; ++depth) {
        Message reply = connection.call(question(current, askParent), node.timeout());
        const int32_t code = codeOf(reply.get());
        if (code != axerr::success) return fail(code);
        std::optional<ObjectRef> parent = replyRef(reply.get());
        if (!parent || isNullRef(*parent)) return fail(axerr::noValue);
        if (parent->path == rootPath) return ok(AXValue{objectElement(std::move(current))});
        current = std::move(*parent);
    }
    return fail(axerr::noValue);
}

AXAttributeResult parentAnswer(const Node& node, DBusMessage* reply) {
    if (node.isAppRoot()) return fail(axerr::noValue);
    const int32_t code = codeOf(reply);
    if (code != axerr::success) return fail(code);
    std::optional<ObjectRef> parent = replyRef(reply);
    if (!parent || isNullRef(*parent)) return fail(axerr::noValue);
    return ok(AXValue{objectElement(std::move(*parent))});
}

AXAttributeResult attributeFrom(BusConnection& connection, const Node& node,
                                const std::string& attribute, const Answers& answers) {
    if (attribute == "AXRole") return roleAnswer(node, answers[askRole]);
    if (attribute == "AXTitle") return stringAnswer(answers[askName]);
    if (attribute == "AXDescription") return stringAnswer(answers[askDescription]);
    if (attribute == "AXIdentifier") return stringAnswer(answers[askIdentifier]);
    if (attribute == "AXChildren") return elementsAnswer(answers[askChildren]);
    if (attribute == "AXWindows") {
        if (!node.role || !isApplicationRole(*node.role)) return fail(axerr::attributeUnsupported);
        return elementsAnswer(answers[askChildren]);
    }
    if (attribute == "AXPosition") return extentsAnswer(answers[askExtents], true);
    if (attribute == "AXSize") return extentsAnswer(answers[askExtents], false);
    if (attribute == "AXActions") return actionsAnswer(answers[askActions]);
    if (attribute == "AXParent") return parentAnswer(node, answers[askParent]);
    if (attribute == "AXEnabled") return stateAnswer(node, ATSPI_STATE_ENABLED);
    if (attribute == "AXFocused") return stateAnswer(node, ATSPI_STATE_FOCUSED);
    if (attribute == "AXValue") return valueAnswer(connection, node);
    if (attribute == "AXTopLevelUIElement") return topLevelAnswer(connection, node);
    return fail(axerr::attributeUnsupported);
}

} // namespace

// What reading a node asks of it, sent for every child as soon as the parent's children are
// known: the application answers them back to back while the driver works through the
// nodes, so a child's read finds its answers waiting.
constexpr std::array<Ask, 9> aheadAsks = {askRole,     askStates,      askInterfaces,
                                          askName,     askDescription, askIdentifier,
                                          askChildren, askExtents,     askActions};

void AtspiAccess::askAhead(BusConnection& connection, const std::vector<ObjectRef>& children,
                           int timeoutMs) {
    std::vector<Message> calls;
    std::vector<std::pair<std::string, size_t>> keys;
    for (const ObjectRef& child : children) {
        std::optional<CachedObject> cached = snapshots_.find(connection, child, timeoutMs);
        for (Ask ask : aheadAsks) {
            if ((cached && cachedAnswer(ask, *cached)) ||
                ahead_.count({child.bus + child.path, ask})) {
                continue;
            }
            calls.push_back(question(child, ask));
            keys.emplace_back(child.bus + child.path, ask);
        }
    }
    if (calls.empty()) return;
    std::vector<Pending> sent = connection.sendAll(std::move(calls), timeoutMs);
    for (size_t i = 0; i < keys.size(); ++i)
        ahead_[keys[i]] = std::move(sent[i]);
}

Message AtspiAccess::takeAhead(BusConnection& connection, const ObjectRef& object, size_t ask) {
    auto found = ahead_.find({object.bus + object.path, ask});
    if (found == ahead_.end()) return nullptr;
    Pending pending = std::move(found->second);
    ahead_.erase(found);
    return connection.collect(std::move(pending));
}

AXAttributesResult
AtspiAccess::copyMultipleAttributeValues(const Element& element,
                                         const std::vector<std::string>& attributes) {
    const Node* node = nodeOf(element);
    if (node == nullptr || node->kind == Node::Kind::systemWide)
        return {axerr::illegalArgument, {}};
    if (node->kind == Node::Kind::missingApp) return {axerr::cannotComplete, {}};
    BusConnection* connection = bus();
    if (connection == nullptr) return {axerr::apiDisabled, {}};

    std::array<bool, askCount> wanted{};
    for (const std::string& attribute : attributes) {
        for (Ask ask : asksFor(attribute))
            wanted[ask] = true;
    }
    // The application root has no parent worth asking for: it is the top.
    if (node->isAppRoot()) wanted[askParent] = false;
    std::optional<CachedObject> cached = snapshots_.find(*connection, node->ref, node->timeout());
    Answers answers = askAll(*connection, *node, wanted, cached,
                             [&](size_t ask) { return takeAhead(*connection, node->ref, ask); });
    // A node read (children and extents together: a tree walk, not a path's step) reads its
    // children next: their questions go out now, together.
    if (wanted[askChildren] && wanted[askExtents]) {
        if (std::optional<std::vector<ObjectRef>> children = replyRefs(answers[askChildren])) {
            std::erase_if(*children, isNullRef);
            askAhead(*connection, *children, node->timeout());
        }
    }

    AXAttributesResult result{axerr::success, {}};
    for (const std::string& attribute : attributes) {
        result.values.push_back(attributeFrom(*connection, *node, attribute, answers));
    }
    return result;
}

AXAttributeResult AtspiAccess::copyAttributeValue(const Element& element,
                                                  const std::string& attribute) {
    AXAttributesResult batch = copyMultipleAttributeValues(element, {attribute});
    if (batch.code != axerr::success) return fail(batch.code);
    return std::move(batch.values.front());
}

namespace {

// The element's kind, asked once per element.
int32_t ensureKnown(BusConnection& connection, AtspiSnapshots& snapshots, const Node& node) {
    if (node.known()) return axerr::success;
    Answers answers =
        askAll(connection, node, {}, snapshots.find(connection, node.ref, node.timeout()));
    if (node.role && node.states && node.interfaces) return axerr::success;
    const int32_t code = codeOf(answers[askRole]);
    return code == axerr::success ? axerr::failure : code;
}

std::vector<std::string> namesOf(const Node& node) {
    std::vector<std::string> names = {
        "AXRole",   "AXTitle",    "AXDescription",       "AXIdentifier",
        "AXParent", "AXChildren", "AXTopLevelUIElement", "AXEnabled",
        "AXFocused"};
    if (node.role && isApplicationRole(*node.role)) names.emplace_back("AXWindows");
    if (node.has(componentIface)) {
        names.emplace_back("AXPosition");
        names.emplace_back("AXSize");
    }
    if (node.has(actionIface)) names.emplace_back("AXActions");
    if (hasValue(node)) names.emplace_back("AXValue");
    return names;
}

} // namespace

AXNamesResult AtspiAccess::copyAttributeNames(const Element& element) {
    const Node* node = nodeOf(element);
    if (node == nullptr || node->kind == Node::Kind::systemWide)
        return {axerr::illegalArgument, {}};
    if (node->kind == Node::Kind::missingApp) return {axerr::cannotComplete, {}};
    BusConnection* connection = bus();
    if (connection == nullptr) return {axerr::apiDisabled, {}};
    const int32_t code = ensureKnown(*connection, snapshots_, *node);
    if (code != axerr::success) return {code, {}};
    return {axerr::success, namesOf(*node)};
}

int32_t AtspiAccess::performAction(const Element& element, const std::string& action) {
    const Node* node = nodeOf(element);
    if (node == nullptr || node->kind == Node::Kind::systemWide) return axerr::illegalArgument;
    if (node->kind == Node::Kind::missingApp) return axerr::cannotComplete;
    BusConnection* connection = bus();
    if (connection == nullptr) return axerr::apiDisabled;
    Message reply = connection->call(question(node->ref, askActions), node->timeout());
    const int32_t code = codeOf(reply.get());
    if (code == axerr::attributeUnsupported) return axerr::actionUnsupported;
    if (code != axerr::success) return code;
    const int32_t index = atspiActionIndex(
        replyFirstStrings(reply.get()).value_or(std::vector<std::string>{}), action);
    if (index < 0) return axerr::actionUnsupported;
    Message perform = methodCall(node->ref, actionIface, "DoAction");
    appendInt32(perform.get(), index);
    Message done = connection->call(std::move(perform), node->timeout());
    const int32_t doneCode = codeOf(done.get());
    if (doneCode != axerr::success) return doneCode;
    return replyBool(done.get()).value_or(false) ? axerr::success : axerr::cannotComplete;
}

namespace {

Message setCurrentValue(const ObjectRef& ref, double value) {
    Message message = methodCall(ref, DBUS_INTERFACE_PROPERTIES, "Set");
    appendString(message.get(), valueIface);
    appendString(message.get(), "CurrentValue");
    DBusMessageIter iter;
    DBusMessageIter variant;
    dbus_message_iter_init_append(message.get(), &iter);
    dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, DBUS_TYPE_DOUBLE_AS_STRING,
                                     &variant);
    dbus_message_iter_append_basic(&variant, DBUS_TYPE_DOUBLE, &value);
    dbus_message_iter_close_container(&iter, &variant);
    return message;
}

std::optional<double> wholeNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace

int32_t AtspiAccess::setStringAttribute(const Element& element, const std::string& attribute,
                                        const std::string& value) {
    const Node* node = nodeOf(element);
    if (node == nullptr || node->kind == Node::Kind::systemWide) return axerr::illegalArgument;
    if (node->kind == Node::Kind::missingApp) return axerr::cannotComplete;
    if (attribute != "AXValue") return axerr::attributeUnsupported;
    BusConnection* connection = bus();
    if (connection == nullptr) return axerr::apiDisabled;
    const int32_t code = ensureKnown(*connection, snapshots_, *node);
    if (code != axerr::success) return code;
    Message reply;
    if (node->has(editableTextIface)) {
        Message message = methodCall(node->ref, editableTextIface, "SetTextContents");
        appendString(message.get(), value);
        reply = connection->call(std::move(message), node->timeout());
        const int32_t setCode = codeOf(reply.get());
        if (setCode != axerr::success) return setCode;
        return replyBool(reply.get()).value_or(false) ? axerr::success : axerr::cannotComplete;
    }
    if (node->has(valueIface)) {
        std::optional<double> number = wholeNumber(value);
        if (!number) return axerr::illegalArgument;
        reply = connection->call(setCurrentValue(node->ref, *number), node->timeout());
        return codeOf(reply.get());
    }
    return axerr::attributeUnsupported;
}

// --- Hit tests ----------------------------------------------------------------------------

namespace {

bool contains(const std::vector<int32_t>& box, Point point) {
    return box.size() == 4 && point.x >= box[0] && point.y >= box[1] &&
           point.x < double(box[0]) + box[2] && point.y < double(box[1]) + box[3];
}

double frameDistance(const std::vector<int32_t>& box, const Rect& frame) {
    return std::abs(box[0] - frame.x) + std::abs(box[1] - frame.y) +
           std::abs(box[2] - frame.width) + std::abs(box[3] - frame.height);
}

// The application's showing window at the point; the one nearest the window server's frame
// when several are.
std::optional<ObjectRef> windowAtPoint(BusConnection& connection, const ObjectRef& app, Point point,
                                       const std::optional<Rect>& frame, int timeoutMs) {
    Message reply = connection.call(question(app, askChildren), timeoutMs);
    std::vector<ObjectRef> windows = replyRefs(reply.get()).value_or(std::vector<ObjectRef>{});
    std::erase_if(windows, isNullRef);
    std::vector<Message> calls;
    for (const ObjectRef& window : windows) {
        calls.push_back(question(window, askExtents));
        calls.push_back(question(window, askStates));
    }
    std::vector<Message> replies = connection.callAll(std::move(calls), timeoutMs);
    std::optional<ObjectRef> best;
    double bestDistance = 0;
    for (size_t i = 0; i < windows.size(); ++i) {
        std::optional<std::vector<int32_t>> box = replyInt32s(replies[2 * i].get());
        AtspiStates states =
            statesFrom(replyUint32s(replies[2 * i + 1].get()).value_or(std::vector<uint32_t>{}));
        if (!box || !contains(*box, point) || !states.has(ATSPI_STATE_SHOWING)) continue;
        const double distance = frame ? frameDistance(*box, *frame) : 0;
        if (!best || distance < bestDistance) {
            best = windows[i];
            bestDistance = distance;
        }
    }
    return best;
}

// The deepest element at the point below `start`.
ObjectRef deepestAt(BusConnection& connection, ObjectRef start, Point point, int timeoutMs) {
    for (int depth = 0; depth < maxHitDepth; ++depth) {
        Message message = methodCall(start, componentIface, "GetAccessibleAtPoint");
        appendInt32(message.get(), static_cast<int32_t>(std::floor(point.x)));
        appendInt32(message.get(), static_cast<int32_t>(std::floor(point.y)));
        appendUint32(message.get(), ATSPI_COORD_TYPE_SCREEN);
        Message reply = connection.call(std::move(message), timeoutMs);
        std::optional<ObjectRef> inner = replyRef(reply.get());
        if (!inner || isNullRef(*inner) || *inner == start) break;
        start = std::move(*inner);
    }
    return start;
}

} // namespace

AXElementResult AtspiAccess::copyElementAtPosition(const Element& root, Point point) {
    const Node* node = nodeOf(root);
    if (node == nullptr || !std::isfinite(point.x) || !std::isfinite(point.y)) {
        return {axerr::illegalArgument, {}};
    }
    if (node->kind == Node::Kind::missingApp) return {axerr::cannotComplete, {}};
    BusConnection* connection = bus();
    if (connection == nullptr) return {axerr::apiDisabled, {}};
    ObjectRef start = node->ref;
    std::optional<Rect> frame;
    if (node->kind == Node::Kind::systemWide) {
        std::optional<WindowAtPoint> window = windowAt_(point);
        if (!window) return {axerr::noValue, {}};
        const Element app = createApplicationElement(window->pid);
        const Node* appNode = nodeOf(app);
        if (appNode->kind != Node::Kind::object) return {axerr::cannotComplete, {}};
        start = appNode->ref;
        frame = window->frame;
    }
    if (start.path == rootPath) {
        std::optional<ObjectRef> window =
            windowAtPoint(*connection, start, point, frame, node->timeout());
        if (!window) return {axerr::noValue, {}};
        start = std::move(*window);
    }
    return {axerr::success, objectElement(deepestAt(*connection, start, point, node->timeout()))};
}

} // namespace dorvex::platform::linux_desktop
