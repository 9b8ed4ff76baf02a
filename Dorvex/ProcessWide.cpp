#include "Dorvex/ProcessWide.h"

#include "DorvexCore/Coercions.h"
#include "DorvexCore/ScreenCapture.h"
#include "DorvexOS/ExecutablePath.h"
#include "DorvexOS/Files.h"

#include <cstdlib>
#include <system_error>

namespace dorvex {
namespace {

constexpr int64_t maxBusyAnswers = 3;
constexpr double stuckAfterSeconds = 60;
constexpr int64_t longestAppInventoryTimeoutMs = 600'000;

} // namespace

int64_t appInventoryTimeoutFrom(const char* environmentValue) {
    if (environmentValue == nullptr) return appInventoryTimeoutMs;
    const Json value(environmentValue);
    const std::optional<int64_t> ms = intValue(&value);
    if (!ms || *ms < 0 || *ms > longestAppInventoryTimeoutMs) return appInventoryTimeoutMs;
    return *ms;
}

ProcessSettings ProcessSettings::fromEnvironment(platform::Workspace& workspace) {
    ProcessSettings settings;
    settings.interpreterPath = workspace.scriptInterpreterPath();
    settings.scriptDirectory = files::userTemporaryDirectory();
    std::error_code error;
    settings.captureDirectory = ScreenCapture::captureDirectory(
        std::getenv("TMPDIR"), std::filesystem::current_path(error));
    settings.appInventoryTimeoutMs =
        appInventoryTimeoutFrom(std::getenv("DORVEX_APP_INVENTORY_TIMEOUT_MS"));
    settings.ownExecutablePath = dorvex::ownExecutablePath();
    return settings;
}

ProcessWide::ProcessWide(std::shared_ptr<Transport> transport, ProcessSettings settings)
    : settings(std::move(settings)), transport(std::move(transport)),
      appInventory(maxBusyAnswers, stuckAfterSeconds),
      scripts(std::make_shared<ScriptRuns>(this->settings.interpreterPath,
                                           this->settings.scriptDirectory,
                                           this->settings.scriptTimings)) {}

} // namespace dorvex
