// Files the driver makes in a possibly shared temporary directory: new files that never follow
// or replace an entry, whole replacements by rename, and private directories.
#include "DorvexOS/Files.h"
#include "support/TempDir.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace dorvex::files {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

mode_t permissions(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

std::vector<std::string> namesIn(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Writes beyond `bytes` fail (EFBIG) while it lives, the way a full disk fails a write after
// the file was opened.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_DFL;
};

TEST(WriteNewFile, CreatesAPrivateFileWithTheBytesWhole) {
    TempDir dir;
    const std::string bytes("PNG\0\x01\xFF tail", 11);
    EXPECT_EQ(writeNewFile(dir.path() / "capture.png", bytes), NewFile::written);
    EXPECT_EQ(readFile(dir.path() / "capture.png"), bytes);
    EXPECT_EQ(permissions(dir.path() / "capture.png"), 0600u);
}

// Whatever already has the name stays as it is, and nothing is written through a link.
TEST(WriteNewFile, RefusesEveryExistingEntry) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& entry, const fs::path& elsewhere)> plant;
    };
    const std::vector<Case> cases = {
        {"a file", [](const fs::path& entry, const fs::path&) { std::ofstream(entry) << "old"; }},
        {"a directory",
         [](const fs::path& entry, const fs::path&) { fs::create_directory(entry); }},
        {"a link to a file",
         [](const fs::path& entry, const fs::path& elsewhere) {
             std::ofstream(elsewhere) << "old";
             fs::create_symlink(elsewhere, entry);
         }},
        {"a dangling link",
         [](const fs::path& entry, const fs::path& elsewhere) {
             fs::create_symlink(elsewhere, entry);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path entry = dir.path() / "capture.png";
        const fs::path elsewhere = dir.path() / "elsewhere";
        c.plant(entry, elsewhere);
        const std::vector<std::string> before = namesIn(dir.path());
        const std::string targetBefore = fs::exists(elsewhere) ? readFile(elsewhere) : "";

        EXPECT_EQ(writeNewFile(entry, "new"), NewFile::exists);
        EXPECT_EQ(namesIn(dir.path()), before);
        EXPECT_EQ(fs::exists(elsewhere) ? readFile(elsewhere) : "", targetBefore);
        if (fs::is_regular_file(fs::symlink_status(entry))) {
            EXPECT_EQ(readFile(entry), "old");
        }
    }
}

TEST(WriteNewFile, LeavesNoPartialFileWhenTheWriteFails) {
    TempDir dir;
    {
        FileSizeLimit limit(4);
        EXPECT_EQ(writeNewFile(dir.path() / "capture.png", "longer than four bytes"),
                  NewFile::failed);
    }
    EXPECT_TRUE(namesIn(dir.path()).empty());
    EXPECT_EQ(writeNewFile(dir.path() / "missing" / "capture.png", "x"), NewFile::failed);
    EXPECT_TRUE(namesIn(dir.path()).empty());
}

TEST(WriteFileAtomically, WritesOrReplacesTheWholeFileAndLeavesNoSideFile) {
    TempDir dir;
    const fs::path file = dir.path() / "scenario.json";
    ASSERT_TRUE(writeFileAtomically(file, "first"));
    EXPECT_EQ(readFile(file), "first");
    EXPECT_EQ(permissions(file), 0600u);
    ASSERT_TRUE(writeFileAtomically(file, "second, longer"));
    EXPECT_EQ(readFile(file), "second, longer");
    ASSERT_TRUE(writeFileAtomically(file, "3"));
    EXPECT_EQ(readFile(file), "3");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"scenario.json"});
}

// The rename replaces a planted link itself: the file it pointed to is not written.
TEST(WriteFileAtomically, ReplacesALinkRatherThanWritingThroughIt) {
    TempDir dir;
    const fs::path target = dir.path() / "target";
    std::ofstream(target) << "untouched";
    fs::create_symlink(target, dir.path() / "file");
    ASSERT_TRUE(writeFileAtomically(dir.path() / "file", "new"));
    EXPECT_EQ(readFile(target), "untouched");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.path() / "file")));
    EXPECT_EQ(readFile(dir.path() / "file"), "new");
}

TEST(WriteFileAtomically, AFailedWriteKeepsTheOldFileAndLeavesNoSideFile) {
    TempDir dir;
    const fs::path file = dir.path() / "scenario.json";
    ASSERT_TRUE(writeFileAtomically(file, "old"));
    {
        FileSizeLimit limit(4);
        EXPECT_FALSE(writeFileAtomically(file, "longer than four bytes"));
    }
    EXPECT_EQ(readFile(file), "old");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"scenario.json"});
    EXPECT_FALSE(writeFileAtomically(dir.path() / "missing" / "file", "x"));
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"scenario.json"});
}

TEST(EnsurePrivateDirectory, MakesAPrivateDirectoryWithItsParents) {
    TempDir dir;
    const fs::path directory = dir.path() / "a" / "b" / "captures";
    ASSERT_TRUE(ensurePrivateDirectory(directory));
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(directory)));
    EXPECT_EQ(permissions(directory) & 0077, 0u);
    EXPECT_TRUE(ensurePrivateDirectory(directory)) << "an existing own directory is fine";
}

// A planted entry must not redirect what goes into the directory.
TEST(EnsurePrivateDirectory, RefusesAnythingButARealDirectory) {
    struct Case {
        const char* name;
        const char* directory; // under the temporary directory
        std::function<void(const fs::path& root)> plant;
    };
    const std::vector<Case> cases = {
        {"a file in its place", "captures",
         [](const fs::path& root) { std::ofstream(root / "captures") << "x"; }},
        {"a link to a directory", "captures",
         [](const fs::path& root) {
             fs::create_directory(root / "elsewhere");
             fs::create_directory_symlink(root / "elsewhere", root / "captures");
         }},
        {"a dangling link", "captures",
         [](const fs::path& root) { fs::create_symlink(root / "nowhere", root / "captures"); }},
        {"a parent that is a file", "plain/deeper/captures",
         [](const fs::path& root) { std::ofstream(root / "plain") << "x"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        c.plant(dir.path());
        EXPECT_FALSE(ensurePrivateDirectory(dir.path() / c.directory));
        EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
    }
}

} // namespace
} // namespace dorvex::files
