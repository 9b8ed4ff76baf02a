// The probe child really runs: a stand-in executable records its arguments and answers through
// its exit status.
#include "DorvexOS/ExecutablePath.h"
#include "DorvexOS/FreshPermissionProbe.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace dorvex {
namespace {

using testing::TempDir;

std::string script(const TempDir& directory, const std::string& body) {
    const std::string path = directory.file("probe.sh");
    std::ofstream(path) << "#!/bin/sh\necho \"$@\" >> '" << directory.file("runs") << "'\n"
                        << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

std::string runs(const TempDir& directory) {
    std::ifstream file(directory.file("runs"));
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(FreshPermissionProbe, StartsTheExecutableWithTheProbeArgumentAndReadsItsExit) {
    TempDir directory;
    EXPECT_TRUE(FreshPermissionProbe::screenCaptureGranted(script(directory, "echo noise; exit 42"),
                                                           FreshPermissionProbe::timeoutMs));
    EXPECT_EQ(runs(directory), "--probe-screen-capture\n");
    EXPECT_FALSE(FreshPermissionProbe::screenCaptureGranted(script(directory, "exit 1"),
                                                            FreshPermissionProbe::timeoutMs));
    EXPECT_FALSE(FreshPermissionProbe::screenCaptureGranted(script(directory, "exit 0"),
                                                            FreshPermissionProbe::timeoutMs));
}

TEST(FreshPermissionProbe, AHangingOrMissingChildIsNotGranted) {
    TempDir directory;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(
        FreshPermissionProbe::screenCaptureGranted(script(directory, "sleep 30; exit 42"), 200));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(FreshPermissionProbe::screenCaptureGranted(directory.file("absent"), 1000));
}

TEST(ExecutablePath, NamesThisTestProgram) {
    std::optional<std::string> path = ownExecutablePath();
    ASSERT_TRUE(path);
    EXPECT_TRUE(std::filesystem::path(*path).is_absolute());
    EXPECT_EQ(std::filesystem::path(*path).filename(), "dorvex_os_tests");
}

} // namespace
} // namespace dorvex
