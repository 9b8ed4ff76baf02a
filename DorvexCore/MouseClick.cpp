#include "DorvexCore/MouseClick.h"

#include <cmath>

namespace dorvex::MouseClick {
namespace {

bool arrived(const std::optional<platform::Point>& cursor, platform::Point at) {
    return cursor && std::fabs(cursor->x - at.x) <= tolerance &&
           std::fabs(cursor->y - at.y) <= tolerance;
}

} // namespace

MouseClickOutcome perform(platform::Point at, const Operations& operations) {
    operations.post(MouseClickStep::move);
    const double start = operations.now();
    operations.sleep(settle);
    std::optional<platform::Point> cursor = operations.cursor();
    for (int polls = 0; !arrived(cursor, at); ++polls) {
        if (operations.now() - start >= deadline || polls == maxPolls) {
            return MouseCursorNotAtPoint{cursor};
        }
        operations.sleep(pollInterval);
        cursor = operations.cursor();
    }
    operations.post(MouseClickStep::press);
    operations.post(MouseClickStep::release);
    return MouseClicked{};
}

bool isOnDisplay(std::optional<uint32_t> displaysAtPoint) {
    return displaysAtPoint && *displaysAtPoint > 0;
}

} // namespace dorvex::MouseClick
