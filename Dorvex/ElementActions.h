#pragma once

// Acting on one element named by a path from an earlier read: performing an action and
// setting a value, only after the path has been walked again and still proves out.
#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvex {

struct ResolvedElement {
    int32_t pid = 0;
    platform::Element element;
    // An element on the way to it is a secure text field: the element is part of the secret.
    bool insideSecureField = false;
};

// The element a wire path names, re-proven: the window must still belong to the app (and to
// appBundleId when given), an app-rooted path is valid only while the app has no windows, and
// the element at the end must carry the path's identity. Nothing otherwise.
std::optional<ResolvedElement> resolveElement(platform::Platform& platform,
                                              const std::optional<std::string>& appBundleId,
                                              const std::vector<std::string>& path);

} // namespace dorvex
