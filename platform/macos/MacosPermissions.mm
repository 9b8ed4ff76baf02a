// The permissions facet: accessibility trust, CoreGraphics' preflight and request calls, and
// Apple Events' automation check.
#include "platform/macos/CFRef.h"
#include "platform/macos/MacosDesktop.h"

#include <ApplicationServices/ApplicationServices.h>
#include <CoreGraphics/CoreGraphics.h>
#include <CoreServices/CoreServices.h>

namespace dorvex::platform::macos {
namespace {

// An Apple Event descriptor, disposed of when it goes (disposing of a null one is harmless).
struct OwnedDesc {
    AEAddressDesc desc{};
    OwnedDesc() = default;
    OwnedDesc(const OwnedDesc&) = delete;
    OwnedDesc& operator=(const OwnedDesc&) = delete;
    ~OwnedDesc() { AEDisposeDesc(&desc); }
};

} // namespace

bool MacosDesktop::isProcessTrusted() {
    return AXIsProcessTrusted();
}

bool MacosDesktop::isProcessTrustedWithPrompt() {
    const void* keys[] = {kAXTrustedCheckOptionPrompt};
    const void* values[] = {kCFBooleanTrue};
    CFRef<CFDictionaryRef> options = CFRef<CFDictionaryRef>::adopt(
        CFDictionaryCreate(kCFAllocatorDefault, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                           &kCFTypeDictionaryValueCallBacks));
    return AXIsProcessTrustedWithOptions(options.get());
}

bool MacosDesktop::preflightScreenCaptureAccess() {
    return CGPreflightScreenCaptureAccess();
}
bool MacosDesktop::requestScreenCaptureAccess() {
    return CGRequestScreenCaptureAccess();
}
bool MacosDesktop::preflightListenEventAccess() {
    return CGPreflightListenEventAccess();
}
bool MacosDesktop::requestListenEventAccess() {
    return CGRequestListenEventAccess();
}
bool MacosDesktop::preflightPostEventAccess() {
    return CGPreflightPostEventAccess();
}
bool MacosDesktop::requestPostEventAccess() {
    return CGRequestPostEventAccess();
}

int32_t MacosDesktop::determinePermissionToAutomate(int32_t pid, bool askUserIfNeeded) {
    OwnedDesc target;
    const pid_t process = pid;
    OSErr created = AECreateDesc(typeKernelProcessID, &process, sizeof process, &target.desc);
    if (created != noErr) return created;
    return AEDeterminePermissionToAutomateTarget(&target.desc, typeWildCard, typeWildCard,
                                                 askUserIfNeeded);
}

} // namespace dorvex::platform::macos
