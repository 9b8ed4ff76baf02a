// The macOS binding's translation tables, which build and run on any host: what each boundary
// value becomes in the system's numbers, and the pixel conversion of captures.
#include "platform/macos/MacosTables.h"

#include <gtest/gtest.h>
#include <limits>
#include <set>
#include <string>

namespace dorvex::platform::macos {
namespace {

TEST(MacosTables, WindowListOptionsBecomeTheWindowServersBits) {
    using namespace cgwindowlist;
    const struct {
        WindowListOption option;
        uint32_t bits;
    } cases[] = {
        {WindowListOption::all, 0},
        {WindowListOption::onScreenOnly, onScreenOnly},
        {WindowListOption::onScreenAboveWindow, onScreenAboveWindow},
        {WindowListOption::onScreenBelowWindow, onScreenBelowWindow},
        {WindowListOption::includingWindow, includingWindow},
        {WindowListOption::excludeDesktopElements, excludeDesktopElements},
        {WindowListOption::onScreenWithoutDesktop, onScreenOnly | excludeDesktopElements},
        {WindowListOption::onScreenAboveWithoutDesktop,
         onScreenAboveWindow | excludeDesktopElements},
        {WindowListOption::onScreenBelowWithoutDesktop,
         onScreenBelowWindow | excludeDesktopElements},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<uint32_t>(c.option));
        EXPECT_EQ(cgWindowListOption(c.option), c.bits);
    }
    // The values the driver asks for are the window server's own numbers.
    EXPECT_EQ(cgWindowListOption(WindowListOption::onScreenWithoutDesktop), 17u);
    EXPECT_EQ(cgWindowListOption(WindowListOption::onScreenAboveWithoutDesktop), 18u);
    EXPECT_EQ(cgWindowListOption(WindowListOption::onScreenBelowWithoutDesktop), 20u);
    EXPECT_EQ(cgWindowListOption(WindowListOption::includingWindow), 8u);
}

TEST(MacosTables, AnOptionTheWindowServerDoesNotKnowGivesNoList) {
    EXPECT_EQ(cgWindowListOption(static_cast<WindowListOption>(3)), std::nullopt);
    EXPECT_EQ(cgWindowListOption(static_cast<WindowListOption>(1u << 31)), std::nullopt);
}

TEST(MacosTables, MouseEventsAndButtonsBecomeCoreGraphicsNumbers) {
    const struct {
        MouseEventType type;
        uint32_t expected;
    } types[] = {
        {MouseEventType::leftMouseDown, 1},  {MouseEventType::leftMouseUp, 2},
        {MouseEventType::rightMouseDown, 3}, {MouseEventType::rightMouseUp, 4},
        {MouseEventType::mouseMoved, 5},     {MouseEventType::otherMouseDown, 25},
        {MouseEventType::otherMouseUp, 26},
    };
    for (const auto& c : types) {
        EXPECT_EQ(cgEventType(c.type), c.expected) << static_cast<uint32_t>(c.type);
    }
    EXPECT_EQ(cgMouseButton(MouseButton::left), 0u);
    EXPECT_EQ(cgMouseButton(MouseButton::right), 1u);
    EXPECT_EQ(cgMouseButton(MouseButton::center), 2u);
}

TEST(MacosTables, AMouseEventOutsideTheTableOnlyMovesThePointer) {
    // Never a press: an unknown type must not become a click somewhere.
    EXPECT_EQ(cgEventType(static_cast<MouseEventType>(6)), cgevent::mouseMoved);
    EXPECT_EQ(cgEventType(static_cast<MouseEventType>(0)), cgevent::mouseMoved);
    EXPECT_EQ(cgMouseButton(static_cast<MouseButton>(7)), cgbutton::left);
}

TEST(MacosTables, WindowRowKeysAreTheNamesTheRowsAreReadBy) {
    std::set<std::string> names;
    for (WindowRowKey key : windowRowKeys)
        names.insert(windowRowKeyName(key));
    EXPECT_EQ(names,
              (std::set<std::string>{"kCGWindowNumber", "kCGWindowOwnerPID", "kCGWindowOwnerName",
                                     "kCGWindowName", "kCGWindowLayer", "kCGWindowAlpha",
                                     "kCGWindowIsOnscreen", "kCGWindowBounds"}));
}

TEST(MacosTables, AccessibilityErrorsKeepTheNumbersTheDriverReliesOn) {
    const struct {
        AXErrorKind kind;
        int32_t code;
    } cases[] = {
        {AXErrorKind::success, axerr::success},
        {AXErrorKind::failure, axerr::failure},
        {AXErrorKind::illegalArgument, axerr::illegalArgument},
        {AXErrorKind::invalidUIElement, axerr::invalidUIElement},
        {AXErrorKind::cannotComplete, axerr::cannotComplete},
        {AXErrorKind::attributeUnsupported, -25205},
        {AXErrorKind::actionUnsupported, axerr::actionUnsupported},
        {AXErrorKind::notImplemented, axerr::notImplemented},
        {AXErrorKind::apiDisabled, axerr::apiDisabled},
        {AXErrorKind::noValue, -25212},
        {AXErrorKind::invalidUIElementObserver, -25203},
        {AXErrorKind::notificationUnsupported, -25207},
        {AXErrorKind::notificationAlreadyRegistered, -25209},
        {AXErrorKind::notificationNotRegistered, -25210},
        {AXErrorKind::parameterizedAttributeUnsupported, -25213},
        {AXErrorKind::notEnoughPrecision, -25214},
    };
    std::set<int32_t> seen;
    for (const auto& c : cases) {
        EXPECT_EQ(axErrorCode(c.kind), c.code) << static_cast<int>(c.kind);
        seen.insert(axErrorCode(c.kind));
    }
    EXPECT_EQ(seen.size(), std::size(cases)) << "two kinds share a code";
    // A null in a batched read answers as the single read does for an attribute without value.
    EXPECT_EQ(batchNullCode, axerr::noValue);
}

TEST(MacosTables, ActivationPoliciesAndAnUnknownOne) {
    EXPECT_EQ(activationPolicy(0), ActivationPolicy::regular);
    EXPECT_EQ(activationPolicy(1), ActivationPolicy::accessory);
    EXPECT_EQ(activationPolicy(2), ActivationPolicy::prohibited);
    EXPECT_EQ(activationPolicy(-1), ActivationPolicy::prohibited);
    EXPECT_EQ(activationPolicy(99), ActivationPolicy::prohibited);
}

TEST(MacosTables, PremultipliedPixelsGetTheirColourBack) {
    std::vector<uint8_t> pixels = {
        10,  20,  30, 255, // opaque: untouched
        0,   0,   0,  0,   // transparent: untouched
        64,  32,  0,  128, // half: doubled, rounded to nearest
        1,   1,   1,  3,   // faint: 85
        200, 100, 50, 100, // a value above its alpha (not premultiplied): saturates
        7,   8,            // a partial pixel at the end: untouched
    };
    unpremultiplyRGBA(pixels);
    EXPECT_EQ(pixels, (std::vector<uint8_t>{
                          10,  20,  30,  255, //
                          0,   0,   0,   0,   //
                          128, 64,  0,   128, //
                          85,  85,  85,  3,   //
                          255, 255, 128, 100, //
                          7,   8,
                      }));
}

TEST(MacosTables, ImageSizesThatDoNotFitAreRefused) {
    EXPECT_EQ(rgbaByteCount(3, 2), 24u);
    EXPECT_EQ(rgbaByteCount(0, 5), 0u);
    const size_t huge = std::numeric_limits<size_t>::max() / 2;
    EXPECT_EQ(rgbaByteCount(huge, 2), std::nullopt);
    EXPECT_EQ(rgbaByteCount(1, std::numeric_limits<size_t>::max() / 4 + 1), std::nullopt);
    EXPECT_EQ(rgbaByteCount(1, std::numeric_limits<size_t>::max() / 4),
              std::numeric_limits<size_t>::max() / 4 * 4);
}

} // namespace
} // namespace dorvex::platform::macos
