#pragma once

// The driver in-process for benchmarks: a binding's facets, a fresh process-wide state in a
// temporary directory of its own, and a transport that keeps only the last line written.
#include "Dorvex/Driver.h"
#include "Dorvex/ProcessWide.h"
#include "Dorvex/Transport.h"
#include "support/TempDir.h"

#include <memory>
#include <string>
#include <string_view>

namespace dorvex::bench {

// For single-threaded benchmarks: no lock around the last line.
class LastLineTransport final : public Transport {
public:
    void writeLine(std::string_view line) override { last_.assign(line); }
    const std::string& last() const { return last_; }

private:
    std::string last_;
};

class BenchDriver {
public:
    explicit BenchDriver(platform::Binding& binding)
        : transport_(std::make_shared<LastLineTransport>()),
          shared_(transport_, settings(directory_)), driver_{binding.facets(), shared_} {}
    BenchDriver(const BenchDriver&) = delete;
    BenchDriver& operator=(const BenchDriver&) = delete;

    Driver& driver() { return driver_; }
    const LastLineTransport& transport() const { return *transport_; }

private:
    static ProcessSettings settings(const testing::TempDir& directory) {
        ProcessSettings settings;
        settings.interpreterPath = "/bin/sh";
        settings.scriptDirectory = directory.path();
        settings.captureDirectory = directory.path() / "nubo-desktop-captures";
        return settings;
    }

    testing::TempDir directory_{"dorvex-bench"};
    std::shared_ptr<LastLineTransport> transport_;
    ProcessWide shared_;
    Driver driver_;
};

} // namespace dorvex::bench
