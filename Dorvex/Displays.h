#pragma once

// The display layout that the monitor list and screen captures report.
#include "platform/Displays.h"
#include "platform/types/Json.h"

namespace dorvex {

// One entry per active display, in ascending id order; empty when displays cannot be listed.
Json desktopDisplayLayout(platform::Displays& displays);

} // namespace dorvex
