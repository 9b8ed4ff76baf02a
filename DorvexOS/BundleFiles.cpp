#include "DorvexOS/BundleFiles.h"

#include "DorvexOS/FileDescriptor.h"
#include "DorvexOS/PropertyList.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace dorvex {
namespace {

constexpr size_t maxEntries = 100'000;

AppScriptability::EntryKind entryKind(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? AppScriptability::EntryKind::missing
                                                   : AppScriptability::EntryKind::other;
    }
    // A link counts as what it leads to; one that leads nowhere (or in a loop) is not a folder.
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return AppScriptability::EntryKind::directory;
    }
    return AppScriptability::EntryKind::other;
}

struct CloseDirectory {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

std::optional<std::vector<std::string>> listDirectory(const std::string& path) {
    FileDescriptor descriptor(
        ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    if (!descriptor) return std::nullopt;
    std::unique_ptr<DIR, CloseDirectory> directory(::fdopendir(descriptor.get()));
    if (!directory) return std::nullopt;
    descriptor.release(); // the stream owns it now
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(directory.get());
        if (!entry) break;
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (names.size() == maxEntries) return std::nullopt;
        names.push_back(name);
    }
    if (errno != 0) return std::nullopt;
    return names;
}

} // namespace

AppScriptability::BundleFiles systemBundleFiles() {
    return {entryKind, listDirectory, propertyList::readDictionary};
}

} // namespace dorvex
