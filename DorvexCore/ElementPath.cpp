#include "DorvexCore/ElementPath.h"

#include <charconv>

namespace dorvex {
namespace {

constexpr std::string_view identityPrefix = "identity:";
constexpr std::string_view pidPrefix = "pid:";
constexpr std::string_view windowIdPrefix = "windowId:";
constexpr std::string_view childPrefix = "child:";
constexpr int64_t largestPid = 2147483647;

std::string digestOf(const std::optional<std::string>& value) {
    return ElementIdentity::digest(value ? std::string_view(*value) : std::string_view());
}

bool isLowerHexDigest(std::string_view piece) {
    if (piece.size() != 16) return false;
    for (char c : piece) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

std::vector<std::string_view> splitKeepingEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (true) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

// What has been read of a path so far; each token is accepted only in its place.
struct PathReader {
    ElementPath path;

    bool accept(std::string_view token) {
        if (token.starts_with(pidPrefix)) return acceptPid(token);
        if (token.starts_with(windowIdPrefix)) return acceptWindowId(token);
        if (token.starts_with(childPrefix)) return acceptChild(token);
        return false;
    }

    bool acceptPid(std::string_view token) {
        if (path.pid || path.windowId || !path.children.empty()) return false;
        std::optional<int64_t> value = ElementPath::number(pidPrefix, token);
        if (!value || *value < 1 || *value > largestPid) return false;
        path.pid = value;
        return true;
    }

    bool acceptWindowId(std::string_view token) {
        if (path.windowId || !path.children.empty()) return false;
        std::optional<int64_t> value = ElementPath::number(windowIdPrefix, token);
        if (!value || *value < 1) return false;
        path.windowId = value;
        return true;
    }

    bool acceptChild(std::string_view token) {
        std::optional<int64_t> value = ElementPath::number(childPrefix, token);
        if (!value) return false;
        path.children.push_back(*value);
        return true;
    }
};

} // namespace

ElementIdentity::ElementIdentity(const std::optional<std::string>& role,
                                 const std::optional<std::string>& title,
                                 const std::optional<std::string>& identifier,
                                 const std::optional<std::string>& subrole,
                                 const std::optional<std::string>& description)
    : role(role.value_or("")), titleDigest(digestOf(title)), identifierDigest(digestOf(identifier)),
      subroleDigest(digestOf(subrole)), descriptionDigest(digestOf(description)) {}

namespace {

constexpr size_t digestLength = 16;

// The digest's 16 lowercase hexadecimal digits, written at `at`.
void writeDigest(std::string_view value, char* at) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (char c : value) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 0x100000001b3ULL; // unsigned arithmetic wraps modulo 2^64
    }
    static constexpr char hex[] = "0123456789abcdef";
    for (size_t i = digestLength; i-- > 0;) {
        at[i] = hex[hash & 0xF];
        hash >>= 4;
    }
}

void appendDigest(std::string& out, const std::optional<std::string>& value) {
    out += ':';
    const size_t at = out.size();
    out.resize(at + digestLength);
    writeDigest(value ? std::string_view(*value) : std::string_view(), out.data() + at);
}

} // namespace

std::string ElementIdentity::digest(std::string_view value) {
    std::string text(digestLength, '0');
    writeDigest(value, text.data());
    return text;
}

void ElementIdentity::appendToken(std::string& out, const std::optional<std::string>& role,
                                  const std::optional<std::string>& title,
                                  const std::optional<std::string>& identifier,
                                  const std::optional<std::string>& subrole,
                                  const std::optional<std::string>& description) {
    out += identityPrefix;
    if (role) out += *role;
    appendDigest(out, title);
    appendDigest(out, identifier);
    appendDigest(out, subrole);
    appendDigest(out, description);
}

std::string ElementIdentity::token() const {
    return std::string(identityPrefix) + role + ':' + titleDigest + ':' + identifierDigest + ':' +
           subroleDigest + ':' + descriptionDigest;
}

std::optional<ElementIdentity> ElementIdentity::parse(std::string_view token) {
    if (!token.starts_with(identityPrefix)) return std::nullopt;
    std::vector<std::string_view> pieces =
        splitKeepingEmpty(token.substr(identityPrefix.size()), ':');
    if (pieces.size() != 5) return std::nullopt;
    for (size_t i = 1; i < pieces.size(); ++i) {
        if (!isLowerHexDigest(pieces[i])) return std::nullopt;
    }
    ElementIdentity identity;
    identity.role = std::string(pieces[0]);
    identity.titleDigest = std::string(pieces[1]);
    identity.identifierDigest = std::string(pieces[2]);
    identity.subroleDigest = std::string(pieces[3]);
    identity.descriptionDigest = std::string(pieces[4]);
    return identity;
}

ElementPath ElementPath::child(int64_t index) const {
    ElementPath copy = *this;
    copy.children.push_back(index);
    copy.identity.reset();
    return copy;
}

ElementPath ElementPath::identified(ElementIdentity newIdentity) const {
    ElementPath copy = *this;
    copy.identity = std::move(newIdentity);
    return copy;
}

std::vector<std::string> ElementPath::tokens() const {
    std::vector<std::string> list;
    list.reserve(children.size() + 3);
    if (pid) list.push_back(std::string(pidPrefix) + std::to_string(*pid));
    if (windowId) list.push_back(std::string(windowIdPrefix) + std::to_string(*windowId));
    for (int64_t index : children)
        list.push_back(childToken(index));
    if (identity) list.push_back(identity->token());
    return list;
}

std::string ElementPath::childToken(int64_t index) {
    return std::string(childPrefix) + std::to_string(index);
}

namespace {

void appendQuotedToken(std::string& out, std::string_view prefix, int64_t number) {
    if (!out.empty()) out += ',';
    out += '"';
    out += prefix;
    char digits[24];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, number);
    out.append(digits, end);
    out += '"';
}

} // namespace

void ElementPath::appendPositionTokens(std::string& out) const {
    if (pid) appendQuotedToken(out, pidPrefix, *pid);
    if (windowId) appendQuotedToken(out, windowIdPrefix, *windowId);
    for (int64_t index : children)
        appendQuotedToken(out, childPrefix, index);
}

void ElementPath::appendChildToken(std::string& out, int64_t index) {
    appendQuotedToken(out, childPrefix, index);
}

std::optional<int64_t> ElementPath::number(std::string_view prefix, std::string_view token) {
    if (!token.starts_with(prefix)) return std::nullopt;
    std::string_view digits = token.substr(prefix.size());
    if (digits.empty()) return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    int64_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::optional<ElementPath> ElementPath::parse(const std::vector<std::string>& tokens) {
    if (tokens.empty()) return std::nullopt;
    std::optional<ElementIdentity> identity = ElementIdentity::parse(tokens.back());
    if (!identity) return std::nullopt;
    PathReader reader;
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (!reader.accept(tokens[i])) return std::nullopt;
    }
    reader.path.identity = std::move(identity);
    return std::move(reader.path);
}

} // namespace dorvex
