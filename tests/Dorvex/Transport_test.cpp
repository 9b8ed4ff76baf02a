// Answer lines written from several threads at once stay whole.
#include "Dorvex/Output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace dorvex {
namespace {

// Points standard output at a pipe for the life of the object, draining it on a thread.
class CapturedOutput {
public:
    CapturedOutput() {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        saved_ = ::dup(STDOUT_FILENO);
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[1]);
        reader_ = std::thread([this, fd = fds[0]] {
            char chunk[65536];
            for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) > 0;)
                text_.append(chunk, got);
            ::close(fd);
        });
    }
    std::string finish() {
        ::dup2(saved_, STDOUT_FILENO); // closes the pipe's last write end
        ::close(saved_);
        reader_.join();
        return text_;
    }

private:
    int saved_ = -1;
    std::thread reader_;
    std::string text_;
};

TEST(Output, ConcurrentLinesNeverInterleave) {
    CapturedOutput captured;
    const std::string payload(100000, 'x'); // larger than a pipe's atomic write
    std::vector<std::thread> writers;
    for (int thread = 0; thread < 4; ++thread) {
        writers.emplace_back([&, thread] {
            for (int i = 0; i < 25; ++i) {
                writeResponse(std::to_string(thread) + "-" + std::to_string(i),
                              Json{{"payload", payload}});
            }
        });
    }
    for (auto& writer : writers)
        writer.join();
    std::string text = captured.finish();

    size_t lines = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        Json line = Json::parse(text.substr(start, end - start));
        EXPECT_EQ(line["result"]["payload"], payload);
        ++lines;
        start = end + 1;
    }
    EXPECT_EQ(lines, 100u);
}

TEST(Output, ErrorLinesCarryDataOnlyWhenGiven) {
    EXPECT_EQ(
        errorObject("1", -32601, "Method not found: x", std::nullopt),
        Json::parse(
            R"({"jsonrpc":"2.0","id":"1","error":{"code":-32601,"message":"Method not found: x"}})"));
    EXPECT_EQ(errorObject("2", -32001, "Unhandled driver error", Json("boom"))["error"]["data"],
              "boom");
}

TEST(Output, UnserializableLineIsDroppedNotHalfWritten) {
    CapturedOutput captured;
    writeResponse("bad", Json{{"text", "\xFF"}});
    writeResponse("good", Json::object());
    std::string text = captured.finish();
    EXPECT_EQ(text, "{\"jsonrpc\":\"2.0\",\"id\":\"good\",\"result\":{}}\n");
}

} // namespace
} // namespace dorvex
