#pragma once

// An application bundle as the scriptability rules see it, read from the file system.
#include "DorvexCore/AppScriptability.h"

namespace dorvex {

// Entries are listed one level deep and at most 100000 per directory; property lists are read
// through propertyList::readDictionary.
AppScriptability::BundleFiles systemBundleFiles();

} // namespace dorvex
