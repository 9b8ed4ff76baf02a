// The workspace facet: AppKit's NSWorkspace and NSRunningApplication, the main run loop, and
// a process's executable file.
#include "platform/macos/MacosDesktop.h"
#include "platform/macos/MacosTables.h"

#import <AppKit/AppKit.h>
#include <CoreFoundation/CoreFoundation.h>
#include <libproc.h>
#include <sys/param.h>

namespace dorvex::platform::macos {
namespace {

static_assert(activationPolicy(NSApplicationActivationPolicyRegular) == ActivationPolicy::regular);
static_assert(activationPolicy(NSApplicationActivationPolicyAccessory) ==
              ActivationPolicy::accessory);
static_assert(activationPolicy(NSApplicationActivationPolicyProhibited) ==
              ActivationPolicy::prohibited);

std::optional<std::string> text(NSString* value) {
    if (value == nil) return std::nullopt;
    const char* bytes = value.UTF8String;
    if (bytes == nullptr) return std::nullopt;
    return std::string(bytes);
}

NSString* nsString(const std::string& value) {
    return [[NSString alloc] initWithBytes:value.data()
                                    length:value.size()
                                  encoding:NSUTF8StringEncoding];
}

NSURL* nsURL(const std::string& value) {
    NSString* string = nsString(value);
    return string == nil ? nil : [NSURL URLWithString:string];
}

RunningApplication application(NSRunningApplication* app) {
    RunningApplication result;
    result.pid = app.processIdentifier;
    result.bundleIdentifier = text(app.bundleIdentifier);
    result.localizedName = text(app.localizedName);
    if (NSDate* launched = app.launchDate) result.launchDate = launched.timeIntervalSince1970;
    result.isActive = app.active;
    result.isHidden = app.hidden;
    result.activationPolicy = activationPolicy(app.activationPolicy);
    result.bundleURL = text(app.bundleURL.absoluteString);
    result.executableURL = text(app.executableURL.absoluteString);
    return result;
}

std::vector<RunningApplication> applications(NSArray<NSRunningApplication*>* apps) {
    std::vector<RunningApplication> result;
    result.reserve(apps.count);
    for (NSRunningApplication* app in apps)
        result.push_back(application(app));
    return result;
}

} // namespace

std::vector<RunningApplication> MacosDesktop::runningApplications() {
    // Also called on a worker thread, which has no pool of its own.
    @autoreleasepool {
        return applications(NSWorkspace.sharedWorkspace.runningApplications);
    }
}

std::optional<RunningApplication> MacosDesktop::frontmostApplication() {
    @autoreleasepool {
        NSRunningApplication* app = NSWorkspace.sharedWorkspace.frontmostApplication;
        if (app == nil) return std::nullopt;
        return application(app);
    }
}

std::optional<std::string> MacosDesktop::urlForApplication(const std::string& bundleId) {
    @autoreleasepool {
        NSString* identifier = nsString(bundleId);
        if (identifier == nil) return std::nullopt;
        NSURL* url = [NSWorkspace.sharedWorkspace URLForApplicationWithBundleIdentifier:identifier];
        return text(url.absoluteString);
    }
}

void MacosDesktop::openApplication(const std::string& url, bool activates,
                                   std::function<void(OpenApplicationResult)> completion) {
    @autoreleasepool {
        NSURL* location = nsURL(url);
        if (location == nil) {
            if (completion) completion({std::nullopt, "not a URL: " + url});
            return;
        }
        NSWorkspaceOpenConfiguration* configuration = [NSWorkspaceOpenConfiguration configuration];
        configuration.activates = activates;
        auto pending =
            std::make_shared<std::function<void(OpenApplicationResult)>>(std::move(completion));
        [NSWorkspace.sharedWorkspace
            openApplicationAtURL:location
                   configuration:configuration
               completionHandler:^(NSRunningApplication* app, NSError* error) {
                 OpenApplicationResult result;
                 if (app != nil) result.app = application(app);
                 if (error != nil) result.error = text(error.localizedDescription).value_or("");
                 if (*pending) (*pending)(std::move(result));
               }];
    }
}

bool MacosDesktop::openURL(const std::string& url) {
    @autoreleasepool {
        NSURL* location = nsURL(url);
        return location != nil && [NSWorkspace.sharedWorkspace openURL:location];
    }
}

std::vector<RunningApplication>
MacosDesktop::runningApplicationsWithBundleId(const std::string& bundleId) {
    @autoreleasepool {
        NSString* identifier = nsString(bundleId);
        if (identifier == nil) return {};
        return applications(
            [NSRunningApplication runningApplicationsWithBundleIdentifier:identifier]);
    }
}

std::optional<RunningApplication> MacosDesktop::runningApplicationWithPid(int32_t pid) {
    @autoreleasepool {
        NSRunningApplication* app =
            [NSRunningApplication runningApplicationWithProcessIdentifier:pid];
        if (app == nil) return std::nullopt;
        return application(app);
    }
}

std::optional<std::string> MacosDesktop::processExecutablePath(int32_t pid) {
    char path[PROC_PIDPATHINFO_MAXSIZE];
    const int length = proc_pidpath(pid, path, sizeof path);
    if (length <= 0) return std::nullopt;
    return std::string(path, static_cast<size_t>(length));
}

bool MacosDesktop::runMainRunLoopOnce() {
    return CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true) == kCFRunLoopRunHandledSource;
}

std::string MacosDesktop::scriptInterpreterPath() {
    return "/usr/bin/osascript";
}

std::string MacosDesktop::platformName() {
    return "darwin";
}

} // namespace dorvex::platform::macos
