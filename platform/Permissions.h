#pragma once

// The privacy gates: accessibility trust, and the screen-capture, input-listening and
// input-posting preflight and request calls.
#include <cstdint>

namespace dorvex::platform {

class Permissions {
public:
    virtual ~Permissions() = default;

    virtual bool isProcessTrusted() = 0;
    virtual bool isProcessTrustedWithPrompt() = 0;
    virtual bool preflightScreenCaptureAccess() = 0;
    virtual bool requestScreenCaptureAccess() = 0;
    virtual bool preflightListenEventAccess() = 0;
    virtual bool requestListenEventAccess() = 0;
    virtual bool preflightPostEventAccess() = 0;
    virtual bool requestPostEventAccess() = 0;
    // Whether this process may send Apple Events to the process (any event class and id):
    // the OSStatus of the check, 0 when permitted (AECreateDesc of the pid, then
    // AEDeterminePermissionToAutomateTarget). The system may ask the user only when
    // askUserIfNeeded is true.
    virtual int32_t determinePermissionToAutomate(int32_t pid, bool askUserIfNeeded) = 0;
};

} // namespace dorvex::platform
