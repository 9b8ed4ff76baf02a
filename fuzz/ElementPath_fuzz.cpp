// Element paths and identities as controllers send them back: one token per input line. Any
// text is either refused or read into a path whose wire form reads back into the same path.
#include "DorvexCore/ElementPath.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void fail(const char* why) {
    std::fprintf(stderr, "ElementPath_fuzz: %s\n", why);
    std::abort();
}

std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> tokens;
    while (!text.empty()) {
        size_t end = text.find('\n');
        tokens.emplace_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return tokens;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using dorvex::ElementIdentity;
    using dorvex::ElementPath;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (std::optional<ElementIdentity> identity = ElementIdentity::parse(text)) {
        if (ElementIdentity::parse(identity->token()) != identity) {
            fail("an identity does not read back from its token");
        }
    }
    if (std::optional<ElementPath> path = ElementPath::parse(lines(text))) {
        if (ElementPath::parse(path->tokens()) != path) fail("a path does not read back");
        // Resolving walks the positions over a tree where every element has three children
        // and is its own position: out-of-range and deep positions must be refused, not read.
        // Elements of deep paths are numbered modulo 2^64, as wrapping ids, not signed overflow.
        auto children = [](int64_t element) {
            const uint64_t first = static_cast<uint64_t>(element) * 3 + 1;
            return std::vector<int64_t>{static_cast<int64_t>(first),
                                        static_cast<int64_t>(first + 1),
                                        static_cast<int64_t>(first + 2)};
        };
        auto identity = [&](int64_t) { return *path->identity; };
        (void)path->resolve(int64_t{0}, children, identity);
    }
    return 0;
}
