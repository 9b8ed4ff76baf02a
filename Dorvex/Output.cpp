#include "Dorvex/Output.h"

#include "DorvexCore/DriverProtocol.h"

#include <cerrno>
#include <unistd.h>

namespace dorvex {

std::mutex& Shared::outputLock() {
    static std::mutex lock; // created once, thread-safely, on first use
    return lock;
}

namespace {

void writeAll(const std::string& bytes) {
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = ::write(STDOUT_FILENO, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return; // the controller closed its end: nobody is left to answer
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
}

} // namespace

void writeJSON(const Json& object) {
    // Serialize outside the lock; only the write of the finished line is guarded.
    std::optional<std::string> line = DriverProtocol::encodeLine(object);
    if (!line) return;
    std::lock_guard<std::mutex> guard(Shared::outputLock());
    writeAll(*line);
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

void writeResponse(const std::string& id, const Json& result) {
    writeJSON(responseObject(id, result));
}

void writeError(const std::string& id, int code, const std::string& message,
                const std::optional<Json>& data) {
    writeJSON(errorObject(id, code, message, data));
}

} // namespace dorvex
