// "desktop_capture_screen": one display or one window to a PNG file in the capture directory.
#include "Dorvex/ActionHandlers.h"
#include "Dorvex/Actions.h"
#include "Dorvex/Displays.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/ScreenCapture.h"
#include "DorvexCore/Uuid.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
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

// A capture, or the failure envelope that ends the request.
using CaptureOutcome = std::variant<Captured, Json>;

Json failure(const std::string& actionType, const char* status, const char* code,
             const std::string& message) {
    return makeFailure(actionType, ActionPath::screenCapture, status, code, message, false);
}

Json windowNotFound(const std::string& actionType) {
    return failure(actionType, "execution_failed", "window_not_found",
                   "Window bounds unavailable.");
}

Json captureFailed(const std::string& actionType) {
    return failure(actionType, "execution_failed", "capture_failed",
                   "Failed to capture screen image.");
}

CaptureOutcome captureWindow(platform::Platform& platform, const std::string& actionType,
                             int64_t windowId) {
    // Ids outside the window server's range name no window; asking would wrap them.
    std::optional<uint32_t> number = ScreenCapture::windowNumber(windowId);
    if (!number) return windowNotFound(actionType);
    auto rows = platform.copyWindowInfo(platform::WindowListOption::includingWindow, *number);
    if (!rows || rows->empty()) return windowNotFound(actionType);
    const platform::WindowRow& row = rows->front();
    std::optional<platform::Rect> bounds =
        ScreenCapture::rectFromDictionary(field(row, "kCGWindowBounds"));
    if (!bounds) return windowNotFound(actionType);
    std::optional<int64_t> owner = ScreenCapture::ownerPid(row);
    std::optional<platform::Image> image = platform.createWindowImage(*number);
    if (!image) return captureFailed(actionType);
    return Captured{*image, *bounds, windowId, owner ? Json(*owner) : Json(nullptr), nullptr};
}

Json monitorNotFound(const std::string& actionType, int64_t monitorId) {
    return failure(actionType, "invalid_request", "monitor_not_found",
                   "No display has id " + std::to_string(monitorId) + "; nothing was captured.");
}

// The display a non-zero "monitorId" names, or the failure envelope.
std::variant<uint32_t, Json> activeDisplay(platform::Platform& platform,
                                           const std::string& actionType, int64_t monitorId) {
    platform::DisplayCountResult count = platform.activeDisplayCount();
    if (count.code != 0) {
        return failure(actionType, "execution_failed", "display_query_failed",
                       "Unable to query displays.");
    }
    if (monitorId < 0 || monitorId > 0xffffffffLL) return monitorNotFound(actionType, monitorId);
    platform::DisplayListResult list = platform.activeDisplayList(count.count);
    if (list.code != 0) return monitorNotFound(actionType, monitorId);
    const size_t usable = std::min<size_t>(list.displayIds.size(), count.count);
    for (size_t i = 0; i < usable; ++i) {
        if (list.displayIds[i] == monitorId) return list.displayIds[i];
    }
    return monitorNotFound(actionType, monitorId);
}

CaptureOutcome captureDisplay(platform::Platform& platform, const std::string& actionType,
                              const Json& action) {
    std::optional<int64_t> monitorId = intValue(field(action, "monitorId"));
    uint32_t displayId = 0;
    if (!monitorId || *monitorId == 0) {
        displayId = platform.mainDisplayId();
    } else {
        auto chosen = activeDisplay(platform, actionType, *monitorId);
        if (auto* refusal = std::get_if<Json>(&chosen)) return std::move(*refusal);
        displayId = std::get<uint32_t>(chosen);
    }
    platform::Rect bounds = platform.displayBounds(displayId);
    std::optional<platform::Image> image = platform.createDisplayImage(displayId);
    if (!image) return captureFailed(actionType);
    return Captured{*image, bounds, nullptr, nullptr, displayId};
}

// Owns one file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, so that a failed close (a lost write) is seen.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// The directory may sit in a shared /tmp: it must be ours, a real directory, and private, so
// nobody else can plant files or links in it.
bool ensureCaptureDirectory(const fs::path& directory) {
    std::error_code error;
    fs::create_directories(directory.parent_path(), error);
    if (error) return false;
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat status {};
    if (::lstat(directory.c_str(), &status) != 0) return false;
    return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid();
}

bool writeAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t got = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        written += static_cast<size_t>(got);
    }
    return true;
}

// Writes the bytes to a new file named by the rule; never replaces or follows an existing
// entry. A name already taken gets a fresh UUID. A file that could not be written whole is
// removed, as nobody could read it.
std::optional<fs::path> writeNewCaptureFile(const fs::path& directory, int64_t nowMs,
                                            const std::vector<uint8_t>& bytes) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const fs::path file = directory / ScreenCapture::fileName(nowMs, uuid::newUpper());
        FileDescriptor fd(
            ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.get() < 0) {
            if (errno == EEXIST) continue;
            return std::nullopt;
        }
        if (writeAll(fd.get(), bytes) && fd.close()) return file;
        ::unlink(file.c_str());
        return std::nullopt;
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

Json handleCaptureScreen(Driver& driver, const std::string& actionType, const Json& action) {
    std::optional<int64_t> windowId = intValue(field(action, "windowId"));
    CaptureOutcome outcome = windowId ? captureWindow(driver.platform, actionType, *windowId)
                                      : captureDisplay(driver.platform, actionType, action);
    if (auto* refusal = std::get_if<Json>(&outcome)) return std::move(*refusal);
    const Captured& captured = std::get<Captured>(outcome);

    std::error_code error;
    const fs::path directory =
        ScreenCapture::captureDirectory(std::getenv("TMPDIR"), fs::current_path(error));
    if (!ensureCaptureDirectory(directory)) {
        return failure(actionType, "execution_failed", "io_failed",
                       "Failed to create capture directory.");
    }
    std::optional<std::vector<uint8_t>> png = driver.platform.pngRepresentation(captured.image);
    std::optional<fs::path> file;
    if (png && !png->empty()) file = writeNewCaptureFile(directory, driver.nowMs(), *png);
    if (!file) {
        return failure(actionType, "execution_failed", "encode_failed",
                       "Failed to encode capture as PNG.");
    }
    return makeSuccess(actionType, ActionPath::screenCapture, "Captured screen image.",
                       successResult(*file, desktopDisplayLayout(driver.platform), captured));
}

} // namespace dorvex
