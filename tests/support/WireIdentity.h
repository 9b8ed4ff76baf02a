#pragma once

// The identity token that ends an element path on the wire, computed from its documented form
// rather than by the driver's code, so end-to-end tests check the driver against an independent
// reading: "identity:", the role in clear, then the 64-bit FNV-1a digests (16 lowercase hex
// digits) of title, identifier, subrole and description, an absent text digesting as empty.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <regex>
#include <string>
#include <string_view>

namespace dorvex::testing {

inline std::string fnv1aHex(std::string_view text) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char byte : text) {
        hash ^= byte;
        hash *= 0x100000001b3ULL;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return digits;
}

inline std::string identityToken(const std::string& role, const std::optional<std::string>& title,
                                 const std::optional<std::string>& identifier,
                                 const std::optional<std::string>& subrole,
                                 const std::optional<std::string>& description) {
    std::string token = "identity:" + role;
    for (const auto* text : {&title, &identifier, &subrole, &description})
        token += ":" + fnv1aHex(text->value_or(""));
    return token;
}

// Whether the text has the form of an identity token.
inline bool isIdentityToken(const std::string& text) {
    static const std::regex form("identity:[^:]*(:[0-9a-f]{16}){4}");
    return std::regex_match(text, form);
}

} // namespace dorvex::testing
