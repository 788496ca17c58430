// The one result type of the project's own fallible steps (the audio engine
// keeps its AudioStatus): it worked, or it failed with a message that names
// the file and says what is wrong, ready for one line on stderr. Library
// code returns it; only the two programs' main functions turn a failure into
// a message and an exit status.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

class [[nodiscard]] Result {
public:
    static Result ok() { return Result(); }
    // `what` names the file (or the option, or the device); `problem` says
    // what is wrong with it, in words.
    static Result failed(const std::string& what, const std::string& problem) {
        Result result(what.empty() ? problem : what + ": " + problem);
        result.problemAt_ = what.empty() ? 0 : what.size() + 2;
        return result;
    }

    explicit operator bool() const { return message_.empty(); }
    // "what: problem"; empty when it worked.
    const std::string& message() const { return message_; }
    // The problem alone, for a caller that names the thing its own way.
    std::string problem() const { return message_.substr(problemAt_); }

private:
    Result() = default;
    explicit Result(std::string message) : message_(std::move(message)) {
        if (message_.empty()) message_ = "failed";
    }
    std::string message_;
    size_t problemAt_ = 0;
};
