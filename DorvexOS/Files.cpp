#include "DorvexOS/Files.h"

#include "DorvexOS/FileDescriptor.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace dorvex::files {

std::filesystem::path userTemporaryDirectory() {
    std::error_code error;
    std::filesystem::path directory = std::filesystem::temp_directory_path(error);
    return error ? std::filesystem::path("/tmp") : directory;
}

bool ensurePrivateDirectory(const std::filesystem::path& directory) {
    std::error_code error;
    std::filesystem::create_directories(directory.parent_path(), error);
    if (error) return false;
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat status {};
    if (::lstat(directory.c_str(), &status) != 0) return false;
    return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid();
}

NewFile writeNewFile(const std::filesystem::path& file, std::string_view bytes) {
    FileDescriptor fd(
        ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return errno == EEXIST ? NewFile::exists : NewFile::failed;
    if (writeAll(fd.get(), bytes) && fd.close()) return NewFile::written;
    ::unlink(file.c_str());
    return NewFile::failed;
}

bool writeFileAtomically(const std::filesystem::path& file, std::string_view bytes) {
    std::string side = file.string() + ".XXXXXX";
    FileDescriptor fd(::mkostemp(side.data(), O_CLOEXEC)); // created 0600, exclusively
    if (!fd) return false;
    const bool written = writeAll(fd.get(), bytes) && fd.close();
    if (written && ::rename(side.c_str(), file.c_str()) == 0) return true;
    ::unlink(side.c_str());
    return false;
}

} // namespace dorvex::files
