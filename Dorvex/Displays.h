#pragma once

// The display layout that the monitor list and screen captures report.
#include "DorvexCore/Json.h"
#include "platform/Platform.h"

namespace dorvex {

// One entry per active display, in ascending id order; empty when displays cannot be listed.
Json desktopDisplayLayout(platform::Platform& platform);

} // namespace dorvex
