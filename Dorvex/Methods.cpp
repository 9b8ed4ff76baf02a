#include "Dorvex/Methods.h"

#include "Dorvex/MethodHandlers.h"
#include "Dorvex/Output.h"
#include "DorvexCore/DriverError.h"

#include <exception>
#include <string_view>

namespace dorvex {
namespace {

using MethodHandler = std::optional<Json> (*)(Driver&, const DriverRequest&);

struct MethodEntry {
    std::string_view method;
    MethodHandler handler;
};

// One line per method; names match exactly, case-sensitive and untrimmed.
constexpr MethodEntry methodTable[] = {
    {"system.ping", handlePing},
    {"system.capabilities", handleCapabilities},
    {"automation.execute", handleExecute},
    {"automation.cancel", handleCancel},
};

} // namespace

std::optional<Json> answerRequest(Driver& driver, const DriverRequest& request) {
    const MethodEntry* entry = nullptr;
    for (const MethodEntry& candidate : methodTable) {
        if (candidate.method == request.method) entry = &candidate;
    }
    if (entry == nullptr) {
        return errorObject(request.id, -32601, "Method not found: " + request.method, std::nullopt);
    }
    try {
        std::optional<Json> result = entry->handler(driver, request);
        if (!result) return std::nullopt;
        return responseObject(request.id, std::move(*result));
    } catch (const DriverError& error) {
        return errorObject(request.id, error.code(), error.what(), std::nullopt);
    } catch (const std::exception& error) {
        return errorObject(request.id, -32001, "Unhandled driver error", Json(error.what()));
    } catch (...) {
        return errorObject(request.id, -32001, "Unhandled driver error", Json("unknown error"));
    }
}

void handleRequest(Driver& driver, const DriverRequest& request) {
    if (std::optional<Json> line = answerRequest(driver, request)) writeJSON(*line);
}

} // namespace dorvex
