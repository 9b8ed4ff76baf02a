#pragma once

// CoreFoundation references held by value: results of Create and Copy calls are adopted,
// results of Get calls retained, and every reference is released exactly once. A checked cast
// turns a value of an unexpected CoreFoundation type into nothing rather than a wrong pointer.
#include <ApplicationServices/ApplicationServices.h>
#include <CoreFoundation/CoreFoundation.h>
#include <utility>

namespace dorvex::platform::macos {

template <typename Ref> class CFRef {
public:
    CFRef() = default;
    static CFRef adopt(Ref ref) { return CFRef(ref); }
    static CFRef retain(Ref ref) {
        if (ref) CFRetain(ref);
        return CFRef(ref);
    }
    ~CFRef() { reset(); }
    CFRef(const CFRef& other) : ref_(other.ref_) {
        if (ref_) CFRetain(ref_);
    }
    CFRef(CFRef&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
    CFRef& operator=(CFRef other) noexcept {
        std::swap(ref_, other.ref_);
        return *this;
    }

    Ref get() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }
    // The out-parameter of a Copy call: whatever it writes is owned.
    Ref* out() {
        reset();
        return &ref_;
    }
    void reset() {
        if (ref_) CFRelease(ref_);
        ref_ = nullptr;
    }

private:
    explicit CFRef(Ref ref) : ref_(ref) {}
    Ref ref_ = nullptr;
};

template <typename Ref> CFTypeID cfTypeID();
template <> inline CFTypeID cfTypeID<CFStringRef>() {
    return CFStringGetTypeID();
}
template <> inline CFTypeID cfTypeID<CFNumberRef>() {
    return CFNumberGetTypeID();
}
template <> inline CFTypeID cfTypeID<CFBooleanRef>() {
    return CFBooleanGetTypeID();
}
template <> inline CFTypeID cfTypeID<CFArrayRef>() {
    return CFArrayGetTypeID();
}
template <> inline CFTypeID cfTypeID<CFDictionaryRef>() {
    return CFDictionaryGetTypeID();
}
template <> inline CFTypeID cfTypeID<AXUIElementRef>() {
    return AXUIElementGetTypeID();
}
template <> inline CFTypeID cfTypeID<AXValueRef>() {
    return AXValueGetTypeID();
}
template <> inline CFTypeID cfTypeID<CGEventRef>() {
    return CGEventGetTypeID();
}

// The value as the reference type asked for, or null when it is null or of another type.
template <typename Ref> Ref cfCast(CFTypeRef value) {
    if (value == nullptr || CFGetTypeID(value) != cfTypeID<Ref>()) return nullptr;
    return static_cast<Ref>(const_cast<void*>(value));
}

} // namespace dorvex::platform::macos
