#pragma once

// The platform bindings this build has, each with its factory; the build generates the list
// (Bindings.cpp.in), so no source chooses a binding by preprocessor test.
#include "platform/Platform.h"

#include <string_view>
#include <vector>

namespace dorvex {

struct BuiltBinding {
    std::string_view name; // "sim", "macos", "linux"
    platform::BindingFactory make;
};

const std::vector<BuiltBinding>& builtBindings();

// What a host starts without DORVEX_PLATFORM: macos on Apple hosts, the simulated desktop
// elsewhere.
std::string_view hostDefaultBinding();

} // namespace dorvex
