#include "Dorvex/RequestLoop.h"

#include "Dorvex/Methods.h"
#include "DorvexCore/DriverProtocol.h"
#include "DorvexCore/Text.h"
#include "DorvexOS/LineReader.h"

#include <string>

namespace dorvex {

void drainPendingEvents(platform::Workspace& workspace) {
    for (int pass = 0; pass < runLoopPassesPerRequest; ++pass) {
        if (!workspace.runMainRunLoopOnce()) break;
    }
}

void runRequestLoop(Driver& driver, int inputFd) {
    LineReader reader(inputFd);
    std::string line;
    while (reader.next(line)) {
        std::string trimmed = text::trimWhitespaceAndNewlines(line);
        if (trimmed.empty()) continue;
        std::optional<DriverRequest> request = DriverProtocol::parseRequestLine(trimmed);
        if (!request) continue;
        drainPendingEvents(driver.platform.workspace);
        handleRequest(driver, *request);
    }
}

} // namespace dorvex
