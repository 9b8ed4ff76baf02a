#include "platform/macos/MakeMacosPlatform.h"

#include "platform/macos/MacosDesktop.h"

namespace dorvex::platform::macos {

std::unique_ptr<Binding> makeMacosPlatform() {
    return std::make_unique<MacosDesktop>();
}

} // namespace dorvex::platform::macos
