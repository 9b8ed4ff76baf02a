#include "DorvexOS/FreshPermissionProbe.h"

#include "DorvexOS/ProcessRunner.h"

namespace dorvex::FreshPermissionProbe {

bool screenCaptureGranted(const std::string& executablePath, int64_t timeoutMs) {
    const ProcessOutcome outcome = ProcessRunner::run(executablePath, {std::string(argument)},
                                                      timeoutMs, outputSettleMs, nullptr);
    return granted(outcome.completed, outcome.cancelled, outcome.exitCode);
}

} // namespace dorvex::FreshPermissionProbe
