#include "DorvexCore/ScreenCapture.h"

#include "DorvexCore/Coercions.h"

#include <cmath>

namespace dorvex::ScreenCapture {
namespace {

std::optional<double> finiteNumber(const Json* value) {
    if (value == nullptr || !value->is_number()) return std::nullopt;
    const double number = value->get<double>();
    if (!std::isfinite(number)) return std::nullopt;
    return number;
}

} // namespace

std::filesystem::path captureDirectory(const char* tmpdir,
                                       const std::filesystem::path& workingDirectory) {
    std::filesystem::path base = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
    if (base.is_relative()) base = workingDirectory / base;
    return base.lexically_normal() / directoryName;
}

std::string fileName(int64_t nowMs, std::string_view uuidText) {
    return "capture-" + std::to_string(nowMs) + "-" + std::string(uuidText.substr(0, 8)) + ".png";
}

std::optional<uint32_t> windowNumber(int64_t windowId) {
    if (windowId < 0 || windowId > 0xffffffffLL) return std::nullopt;
    return static_cast<uint32_t>(windowId);
}

std::optional<platform::Rect> rectFromDictionary(const Json* dictionary) {
    if (dictionary == nullptr || !dictionary->is_object()) return std::nullopt;
    auto x = finiteNumber(field(*dictionary, "X"));
    auto y = finiteNumber(field(*dictionary, "Y"));
    auto width = finiteNumber(field(*dictionary, "Width"));
    auto height = finiteNumber(field(*dictionary, "Height"));
    if (!x || !y || !width || !height) return std::nullopt;
    return platform::Rect{*x, *y, *width, *height};
}

std::optional<int64_t> ownerPid(const platform::WindowRow& row) {
    const Json* pid = field(row, "kCGWindowOwnerPID");
    if (pid == nullptr || !pid->is_number()) return std::nullopt;
    return intValue(pid);
}

Json rectJson(const platform::Rect& rect) {
    return Json{{"x", rect.x}, {"y", rect.y}, {"width", rect.width}, {"height", rect.height}};
}

} // namespace dorvex::ScreenCapture
