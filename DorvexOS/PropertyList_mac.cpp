// Property lists through Core Foundation's own reader, which reads every format macOS writes.
#include "DorvexOS/PropertyList.h"

#include <CoreFoundation/CoreFoundation.h>
#include <limits>
#include <memory>
#include <vector>

namespace dorvex::propertyList {
namespace {

struct Release {
    void operator()(CFTypeRef object) const {
        if (object) CFRelease(object);
    }
};
using Owned = std::unique_ptr<const void, Release>;

Json converted(CFTypeRef value);

std::string utf8(CFStringRef text) {
    const CFIndex length = CFStringGetLength(text);
    const CFIndex capacity = CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8) + 1;
    std::vector<char> buffer(static_cast<size_t>(capacity), '\0');
    if (!CFStringGetCString(text, buffer.data(), capacity, kCFStringEncodingUTF8)) return "";
    return std::string(buffer.data());
}

Json dictionary(CFDictionaryRef dictionary) {
    const CFIndex count = CFDictionaryGetCount(dictionary);
    std::vector<const void*> keys(static_cast<size_t>(count));
    std::vector<const void*> values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    Json object = Json::object();
    for (CFIndex i = 0; i < count; ++i) {
        if (CFGetTypeID(keys[i]) != CFStringGetTypeID()) continue;
        object[utf8(static_cast<CFStringRef>(keys[i]))] = converted(values[i]);
    }
    return object;
}

Json array(CFArrayRef array) {
    Json items = Json::array();
    const CFIndex count = CFArrayGetCount(array);
    for (CFIndex i = 0; i < count; ++i)
        items.push_back(converted(CFArrayGetValueAtIndex(array, i)));
    return items;
}

Json number(CFNumberRef number) {
    if (CFNumberIsFloatType(number)) {
        double value = 0;
        CFNumberGetValue(number, kCFNumberDoubleType, &value);
        return Json(value);
    }
    long long value = 0;
    CFNumberGetValue(number, kCFNumberLongLongType, &value);
    return Json(static_cast<int64_t>(value));
}

Json converted(CFTypeRef value) {
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFDictionaryGetTypeID()) return dictionary(static_cast<CFDictionaryRef>(value));
    if (type == CFArrayGetTypeID()) return array(static_cast<CFArrayRef>(value));
    if (type == CFStringGetTypeID()) return Json(utf8(static_cast<CFStringRef>(value)));
    if (type == CFBooleanGetTypeID())
        return Json(CFBooleanGetValue(static_cast<CFBooleanRef>(value)));
    if (type == CFNumberGetTypeID()) return number(static_cast<CFNumberRef>(value));
    return Json(); // dates, data: nothing the driver reads
}

} // namespace

std::optional<Json> parse(std::string_view data) {
    if (data.empty() || data.size() > static_cast<size_t>(std::numeric_limits<CFIndex>::max())) {
        return std::nullopt;
    }
    Owned bytes(CFDataCreateWithBytesNoCopy(kCFAllocatorDefault,
                                            reinterpret_cast<const UInt8*>(data.data()),
                                            static_cast<CFIndex>(data.size()), kCFAllocatorNull));
    if (!bytes) return std::nullopt;
    Owned list(CFPropertyListCreateWithData(kCFAllocatorDefault,
                                            static_cast<CFDataRef>(bytes.get()),
                                            kCFPropertyListImmutable, nullptr, nullptr));
    if (!list) return std::nullopt;
    return converted(list.get());
}

} // namespace dorvex::propertyList
