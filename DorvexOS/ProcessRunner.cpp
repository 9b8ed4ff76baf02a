// The blocking run, the cancellation token and the system's process control; the runs
// themselves are supervised by the event loop (ProcessLoop.cpp).
#include "DorvexOS/ProcessRunner.h"

#include "DorvexOS/ProcessLoop.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <sys/wait.h>
#include <utility>

namespace dorvex {

void Semaphore::signal() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++count_;
    }
    changed_.notify_one();
}

bool Semaphore::tryWait() {
    std::lock_guard<std::mutex> guard(lock_);
    if (count_ == 0) return false;
    --count_;
    return true;
}

bool Semaphore::waitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!changed_.wait_until(guard, deadline, [this] { return count_ > 0; })) return false;
    --count_;
    return true;
}

void ProcessCancellation::cancel(bool immediately) {
    Wake wake;
    {
        std::lock_guard<std::mutex> guard(lock_);
        requested_ = true;
        if (immediately) immediate_ = true;
        wake = wake_;
    }
    if (wake) wake();
}

void ProcessCancellation::notify(Wake wake) {
    bool alreadyRequested = false;
    Wake previous;
    {
        std::lock_guard<std::mutex> guard(lock_);
        previous = std::exchange(wake_, wake);
        alreadyRequested = requested_;
    }
    // The replaced wake may hold the last reference to what it wakes: let it go unlocked.
    previous = nullptr;
    if (alreadyRequested && wake) wake();
}

bool ProcessCancellation::isCancelled() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requested_;
}

bool ProcessCancellation::isImmediate() const {
    std::lock_guard<std::mutex> guard(lock_);
    return immediate_;
}

ExitPoll SystemProcessControl::pollExit(pid_t pid) {
    int status = 0;
    pid_t answer = ::waitpid(pid, &status, WNOHANG);
    if (answer == pid) return {ExitPoll::State::exited, status};
    if (answer == 0) return {ExitPoll::State::running, 0};
    if (errno == EINTR) return {ExitPoll::State::interrupted, 0};
    return {ExitPoll::State::failed, 0};
}

void SystemProcessControl::signalGroup(pid_t group, int signal) {
    ::kill(-group, signal);
}

bool isResourceShortage(int error) {
    return error == EMFILE || error == ENFILE || error == EAGAIN || error == ENOMEM ||
           error == ENOSPC;
}

namespace ProcessRunner {

ProcessOutcome run(const std::string& executablePath, const std::vector<std::string>& arguments,
                   int64_t timeoutMs, int64_t outputSettleMs,
                   const std::shared_ptr<ProcessCancellation>& cancellation) {
    return run(executablePath, arguments, timeoutMs, outputSettleMs, cancellation,
               std::make_shared<SystemProcessControl>());
}

ProcessOutcome run(const std::string& executablePath, const std::vector<std::string>& arguments,
                   int64_t timeoutMs, int64_t outputSettleMs,
                   const std::shared_ptr<ProcessCancellation>& cancellation,
                   std::shared_ptr<ProcessControl> control, const Timings& timings) {
    ProcessLoop loop(std::move(control), timings);
    if (int error = loop.open()) {
        ProcessOutcome outcome;
        outcome.stderrText =
            std::string("The process could not be watched: ") + std::strerror(error);
        outcome.startError = error;
        return outcome;
    }
    std::optional<ProcessOutcome> answer;
    loop.start(ProcessSpec{executablePath, arguments, timeoutMs, outputSettleMs}, cancellation,
               [&answer](ProcessOutcome outcome) { answer = std::move(outcome); });
    while (!answer)
        loop.turn();
    return std::move(*answer);
}

std::string decodeUTF8(std::string_view bytes) {
    static constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string text;
    text.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            text.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        // Length of the sequence and the allowed range of its second byte, by lead byte;
        // the narrower ranges exclude overlong forms, surrogates and values past U+10FFFF.
        size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        }
        size_t end = i + 1;
        while (length != 0 && end < bytes.size() && end - i < length) {
            const auto next = static_cast<unsigned char>(bytes[end]);
            const bool second = end == i + 1;
            if (next < (second ? low : 0x80) || next > (second ? high : 0xBF)) break;
            ++end;
        }
        if (length != 0 && end - i == length) {
            text.append(bytes.substr(i, length));
        } else {
            text.append(replacement); // one replacement per maximal ill-formed subsequence
        }
        i = end;
    }
    return text;
}

std::string decodeCutUTF8(std::string_view bytes) {
    // Back over at most three continuation bytes to the lead of the last character; when
    // that character is not whole, leave it out.
    size_t lead = bytes.size();
    for (size_t back = 0; back < 4 && lead > 0; ++back) {
        const auto byte = static_cast<unsigned char>(bytes[--lead]);
        if ((byte & 0xC0) != 0x80) {
            // Only a byte that can begin a character starts one the cut may have split;
            // any other stays and is marked as malformed.
            const bool canLead = byte >= 0xC2 && byte <= 0xF4;
            const size_t need = !canLead ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
            if (bytes.size() - lead < need) bytes = bytes.substr(0, lead);
            break;
        }
    }
    return decodeUTF8(bytes);
}

} // namespace ProcessRunner
} // namespace dorvex
