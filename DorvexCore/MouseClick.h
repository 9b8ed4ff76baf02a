#pragma once

// The click sequence: move the pointer, wait until the system reports it at the point, and
// only then press and release. Pure: posting, the pointer, sleeping and the clock are
// injected, so the sequence runs (and is tested) without a desktop or real waiting.
#include "platform/types/Geometry.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <variant>

namespace dorvex {

// The three events of a click, in the order they are posted.
enum class MouseClickStep { move, press, release };

struct MouseClicked {
    friend bool operator==(const MouseClicked&, const MouseClicked&) = default;
};

// Nothing was pressed; the last pointer reading (nothing when it could not be read).
struct MouseCursorNotAtPoint {
    std::optional<platform::Point> cursor;
    friend bool operator==(const MouseCursorNotAtPoint&, const MouseCursorNotAtPoint&) = default;
};

using MouseClickOutcome = std::variant<MouseClicked, MouseCursorNotAtPoint>;

namespace MouseClick {

inline constexpr double settle = 0.02;        // seconds after the move before the first reading
inline constexpr double pollInterval = 0.005; // seconds between later readings
inline constexpr double deadline = 0.25;      // seconds, from just after the move
inline constexpr double tolerance = 0.5;      // points, on each axis
// Readings after the first, at most: a clock that stands still cannot keep the loop going.
inline constexpr int maxPolls = 2 * static_cast<int>(deadline / pollInterval);

struct Operations {
    std::function<void(MouseClickStep)> post;
    std::function<std::optional<platform::Point>()> cursor;
    std::function<void(double seconds)> sleep;
    std::function<double()> now; // monotonic seconds
};

// Posts the move, then press and release only once a reading is within the tolerance of the
// point before the deadline; otherwise reports where the pointer last was.
MouseClickOutcome perform(platform::Point at, const Operations& operations);

// Whether a point lies on a display, from the count of displays holding it (nothing when the
// query failed).
bool isOnDisplay(std::optional<uint32_t> displaysAtPoint);

} // namespace MouseClick
} // namespace dorvex
