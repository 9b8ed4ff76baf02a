#pragma once

// Splits a descriptor's bytes into lines without their line feeds; the last line may lack one.
#include <cstddef>
#include <string>

namespace dorvex {

class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}

    // The next line, or false at end of input (or when the descriptor fails).
    bool next(std::string& line);

private:
    int fd_;
    std::string buffer_;
    size_t start_ = 0;   // where the first unconsumed line begins
    size_t scanned_ = 0; // bytes before this hold no line feed of an unconsumed line
};

} // namespace dorvex
