// The answer writer against the JSON library's own dump(): for any text as a string, and for
// any document the library reads, both write the same bytes or both refuse.
#include "DorvexCore/JsonText.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

using dorvex::Json;

std::optional<std::string> libraryText(const Json& value) {
    try {
        return value.dump();
    } catch (const Json::type_error&) {
        return std::nullopt;
    }
}

std::optional<std::string> writerText(const Json& value) {
    std::string out;
    try {
        dorvex::JsonText::append(out, value);
    } catch (const Json::type_error&) {
        return std::nullopt;
    }
    return out;
}

void expectSame(const Json& value) {
    if (writerText(value) != libraryText(value)) {
        std::fprintf(stderr, "JsonText_fuzz: the writer and the library differ\n");
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    expectSame(Json(text));
    // Strings inside documents too, with every other kind of value around them.
    Json document = Json::parse(text, nullptr, false);
    if (!document.is_discarded()) expectSame(document);
    return 0;
}
