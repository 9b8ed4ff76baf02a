#pragma once

// Files and directories the driver makes in the user's temporary directory, which may be
// shared with other users: nothing here follows a planted link or replaces an existing entry.
#include <filesystem>
#include <string_view>

namespace dorvex::files {

// The user's temporary directory (TMPDIR and its kin when they name a directory), else /tmp.
std::filesystem::path userTemporaryDirectory();

// Makes the directory (and its parents) when missing, private to the user (0700), and tells
// whether it is now a real directory (not a link) owned by this user.
bool ensurePrivateDirectory(const std::filesystem::path& directory);

enum class NewFile { written, exists, failed };

// Creates the file (0600, never following or replacing an existing entry) and writes the bytes
// whole. A file that could not be written whole is removed, as nobody could use it.
NewFile writeNewFile(const std::filesystem::path& file, std::string_view bytes);

// Writes a private side file next to `file` and renames it into place, so a reader never sees
// half the text.
bool writeFileAtomically(const std::filesystem::path& file, std::string_view bytes);

} // namespace dorvex::files
