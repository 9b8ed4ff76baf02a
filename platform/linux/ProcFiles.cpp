#include "platform/linux/ProcFiles.h"

#include <fstream>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvex::platform::linux_desktop::proc {
namespace {

std::string folder(int32_t pid) {
    return "/proc/" + std::to_string(pid);
}

std::optional<std::string> firstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    if (!file || !std::getline(file, line)) return std::nullopt;
    return line;
}

// The boot time, from /proc/stat's btime line.
std::optional<double> bootTime() {
    std::ifstream file("/proc/stat");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("btime ", 0) == 0) return std::stod(line.substr(6));
    }
    return std::nullopt;
}

} // namespace

bool exists(int32_t pid) {
    struct stat info {};
    return pid > 0 && ::stat(folder(pid).c_str(), &info) == 0;
}

std::optional<std::string> command(int32_t pid) {
    if (pid <= 0) return std::nullopt;
    std::optional<std::string> name = firstLine(folder(pid) + "/comm");
    if (!name || name->empty()) return std::nullopt;
    return name;
}

std::optional<std::string> executable(int32_t pid) {
    if (pid <= 0) return std::nullopt;
    char buffer[4096];
    const ssize_t length = ::readlink((folder(pid) + "/exe").c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(length));
}

std::optional<double> startTime(int32_t pid) {
    if (pid <= 0) return std::nullopt;
    std::optional<std::string> stat = firstLine(folder(pid) + "/stat");
    std::optional<double> boot = bootTime();
    if (!stat || !boot) return std::nullopt;
    // The command may hold spaces and parentheses: fields count from the last ')'.
    const size_t close = stat->rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(stat->substr(close + 2));
    std::string field;
    for (int index = 3; index <= 22 && fields >> field; ++index) {
        if (index == 22) {
            const long ticks = ::sysconf(_SC_CLK_TCK);
            if (ticks <= 0) return std::nullopt;
            return *boot + std::stod(field) / static_cast<double>(ticks);
        }
    }
    return std::nullopt;
}

} // namespace dorvex::platform::linux_desktop::proc
