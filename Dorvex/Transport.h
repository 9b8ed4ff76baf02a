#pragma once

// Where answer lines go, and the reply through which every accepted request gets exactly one.
#include "platform/types/Json.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace dorvex {

class Transport {
public:
    virtual ~Transport() = default;
    // Writes one finished line, line feed included, whole; called from any thread.
    virtual void writeLine(std::string_view line) = 0;
    // A reply was destroyed without an answer: a programming error. The request is answered
    // with an "Unhandled driver error" so the controller is not left waiting.
    virtual void replyDropped(const std::string& id);
};

// A descriptor (standard output in the driver): each line in one write, under the output lock,
// so lines written by different threads never interleave.
class DescriptorTransport final : public Transport {
public:
    explicit DescriptorTransport(int fd) : fd_(fd) {}
    void writeLine(std::string_view line) override;

private:
    int fd_;
    std::mutex outputLock_; // guards nothing but the write of one line
};

// Serializes one object outside any lock and writes it as one line; an object that cannot be
// serialized (a string that is not UTF-8) is dropped.
void writeJSON(Transport& transport, const Json& object);

Json responseObject(const std::string& id, Json result);
Json errorObject(const std::string& id, int code, const std::string& message,
                 const std::optional<Json>& data);

// The answer to one request. Move-only and answered at most once: answering consumes it
// (`std::move(reply).result(...)`), and one destroyed unanswered is reported to the transport.
class Reply {
public:
    Reply(std::shared_ptr<Transport> transport, std::string id);
    Reply(Reply&& other) noexcept = default;
    Reply& operator=(Reply&&) = delete;
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    ~Reply();

    const std::string& id() const { return id_; }
    // False once answered or moved from.
    bool isOpen() const { return transport_ != nullptr; }

    void result(Json result) &&;
    void error(int code, const std::string& message, const std::optional<Json>& data = {}) &&;

private:
    std::shared_ptr<Transport> take();

    std::shared_ptr<Transport> transport_;
    std::string id_;
};

} // namespace dorvex
