#include "Dorvex/Methods.h"

#include "Dorvex/Actions.h"
#include "Dorvex/MethodHandlers.h"
#include "Dorvex/Transport.h"
#include "DorvexCore/DriverError.h"

#include <exception>
#include <string_view>

namespace dorvex {
namespace {

// Every method answers through the reply; most compute their result at once.
using MethodHandler = void (*)(Driver&, const DriverRequest&, Reply&);

template <Json (*handler)(Driver&, const DriverRequest&)>
void answerNow(Driver& driver, const DriverRequest& request, Reply& reply) {
    std::move(reply).result(handler(driver, request));
}

void handleExecute(Driver& driver, const DriverRequest& request, Reply& reply) {
    handleAutomationExecute(driver, request.params, reply);
}

struct MethodEntry {
    std::string_view method;
    MethodHandler handler;
};

// One line per method; names match exactly, case-sensitive and untrimmed.
constexpr MethodEntry methodTable[] = {
    {"system.ping", answerNow<handlePing>},
    {"system.capabilities", answerNow<handleCapabilities>},
    {"system.appState", answerNow<handleAppState>},
    {"system.runningApps", answerNow<handleRunningApps>},
    {"system.automationTargetInfo", answerNow<handleAutomationTargetInfo>},
    {"system.requestAutomationPermission", answerNow<handleRequestAutomationPermission>},
    {"app.launch", answerNow<handleAppLaunch>},
    {"permissions.status", answerNow<handlePermissionsStatus>},
    {"permissions.request", answerNow<handlePermissionsRequest>},
    {"permissions.openSettings", answerNow<handleOpenSettings>},
    {"automation.execute", handleExecute},
    {"automation.cancel", answerNow<handleCancel>},
};

void answerFailure(Reply& reply, int code, const std::string& message,
                   const std::optional<Json>& data = std::nullopt) {
    // A deferred handler that failed after taking the reply has handed it on: that run answers.
    if (reply.isOpen()) std::move(reply).error(code, message, data);
}

} // namespace

void handleRequest(Driver& driver, const DriverRequest& request) {
    Reply reply = driver.shared.replyTo(request.id);
    const MethodEntry* entry = nullptr;
    for (const MethodEntry& candidate : methodTable) {
        if (candidate.method == request.method) entry = &candidate;
    }
    if (entry == nullptr) {
        return std::move(reply).error(-32601, "Method not found: " + request.method);
    }
    try {
        entry->handler(driver, request, reply);
    } catch (const DriverError& error) {
        answerFailure(reply, error.code(), error.what());
    } catch (const std::exception& error) {
        answerFailure(reply, -32001, "Unhandled driver error", Json(error.what()));
    } catch (...) {
        answerFailure(reply, -32001, "Unhandled driver error", Json("unknown error"));
    }
}

} // namespace dorvex
