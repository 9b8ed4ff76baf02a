#pragma once

// Random identifiers: capture file names, script file names and subscription ids.
#include <string>

namespace dorvex::uuid {

// A fresh random (version 4) UUID in its standard upper-case text form, 36 characters
// ("XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX").
std::string newUpper();

} // namespace dorvex::uuid
