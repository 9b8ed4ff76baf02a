#include "Dorvex/Transport.h"

#include "DorvexCore/DriverProtocol.h"
#include "DorvexOS/FileDescriptor.h"
#include "DorvexOS/Memory.h"

#include <cassert>

namespace dorvex {

void Transport::replyDropped(const std::string& id) {
    writeJSON(*this, errorObject(id, -32001, "Unhandled driver error",
                                 Json("The request was dropped without an answer.")));
}

void DescriptorTransport::writeLine(std::string_view line) {
    std::lock_guard<std::mutex> guard(outputLock_);
    // A failed write means the controller closed its end: nobody is left to answer.
    writeAll(fd_, line);
}

namespace {

// An answer line this long (a large UI tree) leaves much freed memory behind once written.
constexpr size_t largeLine = 1 << 20;

// Writes the line and tells how long it was (0 when it could not be serialized).
size_t writeObject(Transport& transport, const Json& object) {
    std::optional<std::string> line = DriverProtocol::encodeLine(object);
    if (!line) return 0;
    transport.writeLine(*line);
    return line->size();
}

} // namespace

void writeJSON(Transport& transport, const Json& object) {
    writeObject(transport, object);
}

Json responseObject(const std::string& id, Json result) {
    // Built key by key: an initializer list would copy the whole result once more.
    Json line = Json::object();
    line["jsonrpc"] = "2.0";
    line["id"] = id;
    line["result"] = std::move(result);
    return line;
}

Json errorObject(const std::string& id, int code, const std::string& message,
                 const std::optional<Json>& data) {
    Json error{{"code", code}, {"message", message}};
    if (data) error["data"] = *data;
    return Json{{"jsonrpc", "2.0"}, {"id", id}, {"error", std::move(error)}};
}

Reply::Reply(std::shared_ptr<Transport> transport, std::string id)
    : transport_(std::move(transport)), id_(std::move(id)) {}

Reply::~Reply() {
    if (!transport_) return;
    assert(!"a reply was dropped without an answer");
    take()->replyDropped(id_);
}

std::shared_ptr<Transport> Reply::take() {
    assert(transport_ && "a reply is answered once");
    return std::move(transport_);
}

void Reply::result(Json result) && {
    if (std::shared_ptr<Transport> transport = take()) {
        const size_t written = writeObject(*transport, responseObject(id_, std::move(result)));
        // The answer and the line are gone now: hand what they held back to the system.
        if (written >= largeLine) memory::releaseFree();
    }
}

void Reply::error(int code, const std::string& message, const std::optional<Json>& data) && {
    if (std::shared_ptr<Transport> transport = take()) {
        writeJSON(*transport, errorObject(id_, code, message, data));
    }
}

} // namespace dorvex
