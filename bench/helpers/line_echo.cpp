// The baseline of the pipe benchmark: reads lines and writes each back, one write per line.
#include <string>
#include <unistd.h>

int main() {
    std::string buffer;
    char chunk[65536];
    for (ssize_t got; (got = ::read(STDIN_FILENO, chunk, sizeof chunk)) > 0;) {
        buffer.append(chunk, static_cast<size_t>(got));
        size_t start = 0;
        for (size_t end; (end = buffer.find('\n', start)) != std::string::npos; start = end + 1) {
            if (::write(STDOUT_FILENO, buffer.data() + start, end - start + 1) < 0) return 1;
        }
        buffer.erase(0, start);
    }
    return 0;
}
