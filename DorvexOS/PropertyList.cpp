// The bounds every property-list reader sits behind: a regular file of bounded size, with
// bounded nesting. Parsers recurse over nested containers, so a hostile file could otherwise
// exhaust the stack.
#include "DorvexOS/PropertyList.h"

#include "DorvexOS/FileDescriptor.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace dorvex::propertyList {
namespace {

constexpr std::string_view binaryMagic = "bplist00";
constexpr size_t trailerSize = 32;

std::optional<uint64_t> bigEndian(std::string_view data, size_t offset, size_t width) {
    if (width == 0 || width > 8 || offset > data.size() || data.size() - offset < width) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i)
        value = (value << 8) | static_cast<unsigned char>(data[offset + i]);
    return value;
}

// The binary format's object table, enough to follow container references.
class BinaryObjects {
public:
    explicit BinaryObjects(std::string_view data) : data_(data) {}

    bool readTrailer() {
        if (data_.size() < binaryMagic.size() + trailerSize) return false;
        const size_t trailer = data_.size() - trailerSize;
        offsetWidth_ = static_cast<unsigned char>(data_[trailer + 6]);
        refWidth_ = static_cast<unsigned char>(data_[trailer + 7]);
        auto count = bigEndian(data_, trailer + 8, 8);
        auto top = bigEndian(data_, trailer + 16, 8);
        auto table = bigEndian(data_, trailer + 24, 8);
        if (!count || !top || !table || offsetWidth_ == 0 || offsetWidth_ > 8 || refWidth_ == 0 ||
            refWidth_ > 8 || *count == 0 || *top >= *count || *table > trailer ||
            (trailer - *table) / offsetWidth_ < *count) {
            return false;
        }
        count_ = *count;
        top_ = *top;
        tableOffset_ = *table;
        return true;
    }

    uint64_t count() const { return count_; }
    uint64_t top() const { return top_; }

    // The objects a container refers to; empty for other objects; nothing when malformed.
    std::optional<std::vector<uint64_t>> children(uint64_t object) const {
        auto offset = bigEndian(data_, tableOffset_ + object * offsetWidth_, offsetWidth_);
        if (!offset || *offset >= tableOffset_) return std::nullopt;
        const unsigned char marker = static_cast<unsigned char>(data_[*offset]);
        const unsigned type = marker >> 4;
        if (type != 0xA && type != 0xC && type != 0xD) return std::vector<uint64_t>{};
        size_t position = *offset + 1;
        uint64_t entries = marker & 0xF;
        if (entries == 0xF) {
            if (position >= data_.size()) return std::nullopt;
            const unsigned char sizeMarker = static_cast<unsigned char>(data_[position]);
            if ((sizeMarker >> 4) != 0x1 || (sizeMarker & 0xF) > 3) return std::nullopt;
            const size_t width = size_t{1} << (sizeMarker & 0xF);
            auto extended = bigEndian(data_, position + 1, width);
            if (!extended) return std::nullopt;
            entries = *extended;
            position += 1 + width;
        }
        const uint64_t refs = type == 0xD ? entries * 2 : entries;
        if (entries > data_.size() || refs > (data_.size() - position) / refWidth_) {
            return std::nullopt;
        }
        std::vector<uint64_t> children;
        children.reserve(refs);
        for (uint64_t i = 0; i < refs; ++i) {
            auto child = bigEndian(data_, position + i * refWidth_, refWidth_);
            if (!child || *child >= count_) return std::nullopt;
            children.push_back(*child);
        }
        return children;
    }

private:
    std::string_view data_;
    unsigned offsetWidth_ = 0;
    unsigned refWidth_ = 0;
    uint64_t count_ = 0;
    uint64_t top_ = 0;
    uint64_t tableOffset_ = 0;
};

// The height of the object graph from the top object, by an explicit stack (never recursion),
// visiting each object once; a cycle or a height above `depth` fails.
bool binaryNestingWithin(std::string_view data, size_t depth) {
    BinaryObjects objects(data);
    if (!objects.readTrailer()) return false;
    enum class Mark : uint8_t { unseen, open, done };
    std::vector<Mark> marks(objects.count(), Mark::unseen);
    std::vector<size_t> heights(objects.count(), 0);
    struct Frame {
        uint64_t object;
        std::vector<uint64_t> children;
        size_t next = 0;
    };
    std::vector<Frame> stack;
    auto open = [&](uint64_t object) {
        auto children = objects.children(object);
        if (!children) return false;
        marks[object] = Mark::open;
        stack.push_back({object, std::move(*children)});
        return stack.size() <= depth + 1;
    };
    if (!open(objects.top())) return false;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.children.size()) {
            marks[frame.object] = Mark::done;
            const size_t height = heights[frame.object];
            stack.pop_back();
            if (!stack.empty()) {
                size_t& parent = heights[stack.back().object];
                parent = std::max(parent, height + 1);
                if (parent > depth) return false;
            }
            continue;
        }
        const uint64_t child = frame.children[frame.next++];
        if (marks[child] == Mark::open) return false; // a cycle
        if (marks[child] == Mark::done) {
            heights[frame.object] = std::max(heights[frame.object], heights[child] + 1);
            if (heights[frame.object] > depth) return false;
            continue;
        }
        if (!open(child)) return false;
    }
    return true;
}

size_t skipPast(std::string_view data, size_t from, std::string_view end) {
    const size_t found = data.find(end, from);
    return found == std::string_view::npos ? data.size() : found + end.size();
}

// Element nesting of an XML document: declarations, comments and character data do not nest;
// an element closed by "/>" does not either.
bool xmlNestingWithin(std::string_view data, size_t depth) {
    size_t open = 0;
    size_t position = 0;
    while ((position = data.find('<', position)) != std::string_view::npos) {
        const std::string_view rest = data.substr(position);
        if (rest.starts_with("<?")) {
            position = skipPast(data, position, "?>");
        } else if (rest.starts_with("<!--")) {
            position = skipPast(data, position, "-->");
        } else if (rest.starts_with("<![CDATA[")) {
            position = skipPast(data, position, "]]>");
        } else if (rest.starts_with("<!") || rest.starts_with("</")) {
            if (rest.starts_with("</") && open > 0) --open;
            position = skipPast(data, position, ">");
        } else {
            const size_t end = data.find('>', position);
            if (end == std::string_view::npos) break;
            if (data[end - 1] != '/' && ++open > depth) return false;
            position = end + 1;
        }
    }
    return true;
}

// The whole content of a regular file of at most maxBytes.
std::optional<std::string> readBoundedFile(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    if (!file || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size < 0 || static_cast<uint64_t>(status.st_size) > maxBytes) {
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(status.st_size), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(file.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt; // a file that shrank while read is not trusted
        done += static_cast<size_t>(n);
    }
    // A file that grew while read: its end is not the end read here.
    char extra = 0;
    if (::read(file.get(), &extra, 1) != 0) return std::nullopt;
    return bytes;
}

} // namespace

bool nestingWithin(std::string_view data, size_t depth) {
    if (data.starts_with(binaryMagic)) return binaryNestingWithin(data, depth);
    return xmlNestingWithin(data, depth);
}

std::optional<Json> readDictionary(const std::string& path) {
    std::optional<std::string> bytes = readBoundedFile(path);
    if (!bytes || !nestingWithin(*bytes, maxDepth)) return std::nullopt;
    std::optional<Json> value = parse(*bytes);
    if (!value || !value->is_object()) return std::nullopt;
    return value;
}

} // namespace dorvex::propertyList
