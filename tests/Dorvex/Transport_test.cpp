// Answer lines: whole lines from several threads at once through a descriptor, and replies that
// answer once, or are reported when dropped unanswered.
#include "Dorvex/Transport.h"
#include "support/InProcessDriver.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace dorvex {
namespace {

using testing::BufferTransport;

// A pipe drained on a thread: a DescriptorTransport writes into it, finish() gives the text.
class CapturedPipe {
public:
    CapturedPipe() {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        writeEnd_ = fds[1];
        reader_ = std::thread([this, fd = fds[0]] {
            char chunk[65536];
            for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) > 0;)
                text_.append(chunk, got);
            ::close(fd);
        });
    }
    ~CapturedPipe() {
        if (reader_.joinable()) finish();
    }
    CapturedPipe(const CapturedPipe&) = delete;
    CapturedPipe& operator=(const CapturedPipe&) = delete;

    int writeEnd() const { return writeEnd_; }
    std::string finish() {
        ::close(writeEnd_); // the last write end: the reader sees the end
        reader_.join();
        return text_;
    }

private:
    int writeEnd_ = -1;
    std::thread reader_;
    std::string text_;
};

TEST(Transport, ConcurrentLinesNeverInterleave) {
    CapturedPipe pipe;
    DescriptorTransport transport(pipe.writeEnd());
    const std::string payload(100000, 'x'); // larger than a pipe's atomic write
    std::vector<std::thread> writers;
    for (int thread = 0; thread < 4; ++thread) {
        writers.emplace_back([&, thread] {
            for (int i = 0; i < 25; ++i) {
                writeJSON(transport,
                          responseObject(std::to_string(thread) + "-" + std::to_string(i),
                                         Json{{"payload", payload}}));
            }
        });
    }
    for (auto& writer : writers)
        writer.join();
    std::string text = pipe.finish();

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

TEST(Transport, ErrorLinesCarryDataOnlyWhenGiven) {
    EXPECT_EQ(
        errorObject("1", -32601, "Method not found: x", std::nullopt),
        Json::parse(
            R"({"jsonrpc":"2.0","id":"1","error":{"code":-32601,"message":"Method not found: x"}})"));
    EXPECT_EQ(errorObject("2", -32001, "Unhandled driver error", Json("boom"))["error"]["data"],
              "boom");
}

TEST(Transport, UnserializableLineIsDroppedNotHalfWritten) {
    CapturedPipe pipe;
    DescriptorTransport transport(pipe.writeEnd());
    writeJSON(transport, responseObject("bad", Json{{"text", "\xFF"}}));
    writeJSON(transport, responseObject("good", Json::object()));
    EXPECT_EQ(pipe.finish(), "{\"jsonrpc\":\"2.0\",\"id\":\"good\",\"result\":{}}\n");
}

TEST(Reply, AnswersOnceUnderItsIdAndThenIsClosed) {
    auto transport = std::make_shared<BufferTransport>();
    Reply result(transport, "r1");
    Reply error(transport, "e1");
    EXPECT_TRUE(result.isOpen());
    std::move(result).result(Json{{"ok", true}});
    std::move(error).error(-32602, "Invalid params", Json("detail"));
    EXPECT_FALSE(result.isOpen());
    EXPECT_FALSE(error.isOpen());

    Reply moved(transport, "m1");
    Reply taker(std::move(moved));
    EXPECT_FALSE(moved.isOpen());
    EXPECT_EQ(taker.id(), "m1");
    std::move(taker).result(Json::object());

    EXPECT_EQ(transport->lines(),
              (std::vector<Json>{responseObject("r1", Json{{"ok", true}}),
                                 errorObject("e1", -32602, "Invalid params", Json("detail")),
                                 responseObject("m1", Json::object())}));
    EXPECT_EQ(transport->droppedReplies(), 0);
}

#ifdef NDEBUG
// In a debug build the destructor asserts instead: dropping a reply is a programming error.
TEST(Reply, DroppedUnansweredIsReportedAndStillAnswered) {
    auto transport = std::make_shared<BufferTransport>();
    { Reply dropped(transport, "lost-1"); }
    EXPECT_EQ(transport->droppedReplies(), 1);
    EXPECT_EQ(transport->lines(),
              std::vector<Json>{errorObject("lost-1", -32001, "Unhandled driver error",
                                            Json("The request was dropped without an answer."))});
}
#endif

} // namespace
} // namespace dorvex
