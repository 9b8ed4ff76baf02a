#pragma once

// The one owner of a file descriptor, and the one loop that writes a buffer whole.
#include <string_view>

namespace dorvex {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release();
    void reset(int fd = -1);
    // Closes now and tells whether the close succeeded: on some file systems a failed close
    // is the only sign that written data was lost.
    bool close();

private:
    int fd_ = -1;
};

// Writes every byte, retrying short and interrupted writes; false when the descriptor fails.
bool writeAll(int fd, std::string_view bytes);

} // namespace dorvex
