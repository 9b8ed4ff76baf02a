#pragma once

// The privacy gates: accessibility trust, and the screen-capture, input-listening and
// input-posting preflight and request calls.
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
};

} // namespace dorvex::platform
