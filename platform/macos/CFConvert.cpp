#include "platform/macos/CFConvert.h"

#include <cmath>
#include <limits>

namespace dorvex::platform::macos {
namespace {

// Beyond this depth a dictionary or array reads as null: a window row is two levels deep.
constexpr int maxDepth = 16;

Json jsonAt(CFTypeRef value, int depth);

Json jsonNumber(CFNumberRef number) {
    if (!CFNumberIsFloatType(number)) {
        long long whole = 0;
        if (CFNumberGetValue(number, kCFNumberLongLongType, &whole)) {
            return Json(static_cast<int64_t>(whole));
        }
    }
    double value = 0;
    CFNumberGetValue(number, kCFNumberDoubleType, &value);
    if (!std::isfinite(value)) return Json(); // JSON has no such number
    return Json(value);
}

Json jsonArray(CFArrayRef array, int depth) {
    Json items = Json::array();
    const CFIndex count = CFArrayGetCount(array);
    for (CFIndex i = 0; i < count; ++i) {
        items.push_back(jsonAt(CFArrayGetValueAtIndex(array, i), depth + 1));
    }
    return items;
}

Json jsonObject(CFDictionaryRef dictionary, int depth) {
    const CFIndex count = CFDictionaryGetCount(dictionary);
    std::vector<const void*> keys(static_cast<size_t>(count));
    std::vector<const void*> values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    Json object = Json::object();
    for (size_t i = 0; i < keys.size(); ++i) {
        if (std::optional<std::string> key = utf8(keys[i])) {
            object[*key] = jsonAt(values[i], depth + 1);
        }
    }
    return object;
}

Json jsonAt(CFTypeRef value, int depth) {
    if (value == nullptr || depth > maxDepth) return Json();
    if (std::optional<std::string> text = utf8(value)) return Json(*text);
    if (CFBooleanRef flag = cfCast<CFBooleanRef>(value)) return Json(CFBooleanGetValue(flag) != 0);
    if (CFNumberRef number = cfCast<CFNumberRef>(value)) return jsonNumber(number);
    if (CFArrayRef array = cfCast<CFArrayRef>(value)) return jsonArray(array, depth);
    if (CFDictionaryRef dictionary = cfCast<CFDictionaryRef>(value)) {
        return jsonObject(dictionary, depth);
    }
    return Json();
}

} // namespace

std::optional<std::string> utf8(CFTypeRef value) {
    CFStringRef text = cfCast<CFStringRef>(value);
    if (!text) return std::nullopt;
    if (const char* fast = CFStringGetCStringPtr(text, kCFStringEncodingUTF8)) return fast;
    const CFIndex length = CFStringGetLength(text);
    CFIndex bytes = 0;
    CFStringGetBytes(text, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false, nullptr, 0,
                     &bytes);
    std::string out(static_cast<size_t>(bytes), '\0');
    CFStringGetBytes(text, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false,
                     reinterpret_cast<UInt8*>(out.data()), bytes, &bytes);
    out.resize(static_cast<size_t>(bytes));
    return out;
}

CFRef<CFStringRef> cfString(const std::string& text) {
    if (text.size() > static_cast<size_t>(std::numeric_limits<CFIndex>::max())) return {};
    return CFRef<CFStringRef>::adopt(
        CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                                static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false));
}

CFRef<CFArrayRef> cfStringArray(const std::vector<std::string>& texts) {
    std::vector<CFRef<CFStringRef>> owned;
    std::vector<const void*> values;
    owned.reserve(texts.size());
    for (const std::string& text : texts) {
        owned.push_back(cfString(text));
        if (!owned.back()) return {};
        values.push_back(owned.back().get());
    }
    return CFRef<CFArrayRef>::adopt(CFArrayCreate(kCFAllocatorDefault, values.data(),
                                                  static_cast<CFIndex>(values.size()),
                                                  &kCFTypeArrayCallBacks));
}

std::optional<double> numberValue(CFTypeRef value) {
    if (CFBooleanRef flag = cfCast<CFBooleanRef>(value)) return CFBooleanGetValue(flag) ? 1 : 0;
    CFNumberRef number = cfCast<CFNumberRef>(value);
    if (!number) return std::nullopt;
    double result = 0;
    CFNumberGetValue(number, kCFNumberDoubleType, &result);
    return result;
}

Json jsonValue(CFTypeRef value) {
    return jsonAt(value, 0);
}

} // namespace dorvex::platform::macos
