#pragma once

// The error that method handlers throw for a bad request; the dispatcher turns it into a
// JSON-RPC error. Action handlers never throw it: they answer failure envelopes.
#include <stdexcept>
#include <string>

namespace dorvex {

class DriverError : public std::runtime_error {
public:
    enum class Kind { invalidParams, unsupported };

    static DriverError invalidParams(std::string message) {
        return DriverError(Kind::invalidParams, std::move(message));
    }
    static DriverError unsupported(std::string message) {
        return DriverError(Kind::unsupported, std::move(message));
    }

    Kind kind() const { return kind_; }
    // The JSON-RPC error code of this case.
    int code() const { return kind_ == Kind::invalidParams ? -32602 : -32000; }

private:
    DriverError(Kind kind, std::string message)
        : std::runtime_error(std::move(message)), kind_(kind) {}
    Kind kind_;
};

} // namespace dorvex
