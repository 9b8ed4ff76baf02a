// Property lists through libplist, which reads the XML and binary formats alike.
#include "DorvexOS/PropertyList.h"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <plist/plist.h>

namespace dorvex::propertyList {
namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistNode = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistFree>;

struct CFree {
    void operator()(void* memory) const { std::free(memory); }
};

Json converted(plist_t node);

Json dictionary(plist_t node) {
    Json object = Json::object();
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    std::unique_ptr<void, CFree> iteratorOwner(iterator);
    for (;;) {
        char* rawKey = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iterator, &rawKey, &value);
        std::unique_ptr<char, CFree> key(rawKey);
        if (!key || !value) break;
        object[key.get()] = converted(value);
    }
    return object;
}

Json array(plist_t node) {
    Json items = Json::array();
    const uint32_t size = plist_array_get_size(node);
    for (uint32_t i = 0; i < size; ++i)
        items.push_back(converted(plist_array_get_item(node, i)));
    return items;
}

Json text(plist_t node) {
    char* raw = nullptr;
    plist_get_string_val(node, &raw);
    std::unique_ptr<char, CFree> owned(raw);
    return owned ? Json(std::string(owned.get())) : Json();
}

Json converted(plist_t node) {
    switch (plist_get_node_type(node)) {
    case PLIST_DICT:
        return dictionary(node);
    case PLIST_ARRAY:
        return array(node);
    case PLIST_STRING:
        return text(node);
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return Json(value != 0);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return Json(value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return Json(value);
    }
    default:
        return Json(); // dates, data, identifiers: nothing the driver reads
    }
}

} // namespace

std::optional<Json> parse(std::string_view data) {
    if (data.empty() || data.size() > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    plist_t raw = nullptr;
    plist_from_memory(data.data(), static_cast<uint32_t>(data.size()), &raw);
    PlistNode root(raw);
    if (!root) return std::nullopt;
    return converted(root.get());
}

} // namespace dorvex::propertyList
