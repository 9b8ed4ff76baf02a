#pragma once

// A double as the shortest decimal text that reads back as the same double, laid out as
// std::to_chars lays it out (fixed or scientific, whichever is shorter; fixed on a tie). Built
// on printf's correctly rounded conversions, so it needs no floating-point to_chars, which
// macOS's C++ library has only from macOS 13.3 on.
#include <string>

namespace dorvex {

std::string shortestNumberText(double value);

} // namespace dorvex
