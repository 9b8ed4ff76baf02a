// "desktop_capture_screen": one display or one window to a PNG file in the capture directory.
#include "Dorvex/ActionHandlers.h"
#include "Dorvex/Displays.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/ScreenCapture.h"
#include "DorvexOS/Files.h"
#include "DorvexOS/PngEncoder.h"
#include "DorvexOS/Uuid.h"

#include <filesystem>
#include <optional>
#include <variant>

namespace dorvex {
namespace {

namespace fs = std::filesystem;

// What was captured, before it is written.
struct Captured {
    platform::Image image;
    platform::Rect bounds;
    Json windowId = nullptr;
    Json ownerPid = nullptr;
    Json monitorId = nullptr;
};

// A capture, or the failure that ends the request.
using CaptureOutcome = std::variant<Captured, Failure>;

CaptureOutcome captureWindow(platform::Platform& platform, int64_t windowId) {
    // Ids outside the window server's range name no window; asking would wrap them.
    std::optional<uint32_t> number = ScreenCapture::windowNumber(windowId);
    if (!number) return failures::windowBoundsUnavailable();
    auto rows =
        platform.windowServer.copyWindowInfo(platform::WindowListOption::includingWindow, *number);
    if (!rows || rows->empty()) return failures::windowBoundsUnavailable();
    const platform::WindowRow& row = rows->front();
    std::optional<platform::Rect> bounds =
        ScreenCapture::rectFromDictionary(field(row, "kCGWindowBounds"));
    if (!bounds) return failures::windowBoundsUnavailable();
    std::optional<int64_t> owner = ScreenCapture::ownerPid(row);
    std::optional<platform::Image> image = platform.displays.createWindowImage(*number);
    if (!image) return failures::captureFailed();
    return Captured{std::move(*image), *bounds, windowId, owner ? Json(*owner) : Json(nullptr),
                    nullptr};
}

// The display a non-zero "monitorId" names, or the failure.
std::variant<uint32_t, Failure> activeDisplay(platform::Displays& displays, int64_t monitorId) {
    platform::DisplayCountResult count = displays.activeDisplayCount();
    if (count.code != 0) return failures::displayQueryFailed();
    if (monitorId < 0 || monitorId > 0xffffffffLL) return failures::monitorNotFound(monitorId);
    platform::DisplayListResult list = displays.activeDisplayList(count.count);
    if (list.code != 0) return failures::monitorNotFound(monitorId);
    const size_t usable = std::min<size_t>(list.displayIds.size(), count.count);
    for (size_t i = 0; i < usable; ++i) {
        if (list.displayIds[i] == monitorId) return list.displayIds[i];
    }
    return failures::monitorNotFound(monitorId);
}

CaptureOutcome captureDisplay(platform::Displays& displays, const Json& action) {
    std::optional<int64_t> monitorId = intValue(field(action, "monitorId"));
    uint32_t displayId = 0;
    if (!monitorId || *monitorId == 0) {
        displayId = displays.mainDisplayId();
    } else {
        auto chosen = activeDisplay(displays, *monitorId);
        if (auto* refusal = std::get_if<Failure>(&chosen)) return std::move(*refusal);
        displayId = std::get<uint32_t>(chosen);
    }
    platform::Rect bounds = displays.displayBounds(displayId);
    std::optional<platform::Image> image = displays.createDisplayImage(displayId);
    if (!image) return failures::captureFailed();
    return Captured{std::move(*image), bounds, nullptr, nullptr, displayId};
}

// Writes the bytes to a new file named by the rule; a name already taken gets a fresh UUID.
std::optional<fs::path> writeNewCaptureFile(const fs::path& directory, int64_t nowMs,
                                            const std::vector<uint8_t>& bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (int attempt = 0; attempt < 4; ++attempt) {
        const fs::path file = directory / ScreenCapture::fileName(nowMs, uuid::newUpper());
        switch (files::writeNewFile(file, text)) {
        case files::NewFile::written:
            return file;
        case files::NewFile::exists:
            continue;
        case files::NewFile::failed:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

Json successResult(const fs::path& file, Json layout, const Captured& captured) {
    return Json{{"filePath", file.string()},
                {"displayLayout", std::move(layout)},
                {"bounds", ScreenCapture::rectJson(captured.bounds)},
                {"width", static_cast<int64_t>(captured.image.width)},
                {"height", static_cast<int64_t>(captured.image.height)},
                {"windowId", captured.windowId},
                {"ownerPid", captured.ownerPid},
                {"monitorId", captured.monitorId}};
}

} // namespace

Json handleCaptureScreen(Driver& driver, const ActionContext& context, const Json& action) {
    std::optional<int64_t> windowId = intValue(field(action, "windowId"));
    CaptureOutcome outcome = windowId ? captureWindow(driver.platform, *windowId)
                                      : captureDisplay(driver.platform.displays, action);
    if (const auto* refusal = std::get_if<Failure>(&outcome)) return context.failure(*refusal);
    const Captured& captured = std::get<Captured>(outcome);

    // The directory may sit in a shared /tmp: it must be ours, a real directory, and private,
    // so nobody else can plant files or links in it.
    const fs::path& directory = driver.shared.settings.captureDirectory;
    if (!files::ensurePrivateDirectory(directory)) {
        return context.failure(failures::captureDirectoryFailed());
    }
    std::optional<std::vector<uint8_t>> png =
        png::encodeRgba(captured.image.width, captured.image.height, captured.image.pixels);
    std::optional<fs::path> file;
    if (png && !png->empty()) file = writeNewCaptureFile(directory, driver.nowMs(), *png);
    if (!file) return context.failure(failures::encodeFailed());
    return context.success(
        "Captured screen image.",
        successResult(*file, desktopDisplayLayout(driver.platform.displays), captured));
}

} // namespace dorvex
