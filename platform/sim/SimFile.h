#pragma once

// A stdio file that closes itself: the simulated desktop's only files are its scenario, its
// event log and its counters.
#include <cstdio>
#include <memory>

namespace dorvex::platform::sim {

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

} // namespace dorvex::platform::sim
