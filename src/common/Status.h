#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace vessamo {

// Why something did not work. "Absent" and "damaged" are kept apart on
// purpose: a backup without WhatsApp and a backup whose chat database is
// corrupt must not look the same to the person reading the result.
enum class StatusCode {
    ok,
    notFound,       // the thing looked for is not there
    corrupt,        // it is there but cannot be read as what it claims to be
    ioError,        // the system refused a read or write
    alreadyExists,  // a file that must not be replaced is there
    cancelled,      // the person (or a signal) stopped the work
    invalid,        // a caller's argument makes no sense
    busy,           // another piece of work holds what this one needs
};

// A failure, or none: a code and a message that says what and where in
// words a person can act on. The message never restates the code.
class [[nodiscard]] Status {
public:
    Status() = default;

    static Status success() { return Status(); }
    static Status notFound(std::string message) {
        return {StatusCode::notFound, std::move(message)};
    }
    static Status corrupt(std::string message) { return {StatusCode::corrupt, std::move(message)}; }
    static Status ioError(std::string message) { return {StatusCode::ioError, std::move(message)}; }
    static Status alreadyExists(std::string message) {
        return {StatusCode::alreadyExists, std::move(message)};
    }
    static Status cancelled(std::string message) {
        return {StatusCode::cancelled, std::move(message)};
    }
    static Status invalid(std::string message) { return {StatusCode::invalid, std::move(message)}; }
    static Status busy(std::string message) { return {StatusCode::busy, std::move(message)}; }
    // An I/O failure with the text of the current errno appended.
    static Status fromErrno(std::string_view what);

    [[nodiscard]] bool ok() const { return code_ == StatusCode::ok; }
    [[nodiscard]] StatusCode code() const { return code_; }
    [[nodiscard]] const std::string& message() const { return message_; }
    [[nodiscard]] bool is(StatusCode code) const { return code_ == code; }
    // "corrupt: the chat database ... " for logs; "OK" when ok.
    [[nodiscard]] std::string toString() const;

    // Marks a status as looked at where ignoring it is the right thing.
    void ignore() const {}

    bool operator==(const Status&) const = default;

private:
    Status(StatusCode code, std::string message) : code_(code), message_(std::move(message)) {}

    StatusCode code_ = StatusCode::ok;
    std::string message_;
};

[[nodiscard]] std::string_view statusCodeName(StatusCode code);

// A value, or the Status saying why there is none.
template <typename T>
class [[nodiscard]] StatusOr {
public:
    StatusOr(T value) : state_(std::move(value)) {}  // NOLINT: implicit on purpose
    StatusOr(Status status) : state_(std::move(status)) {
        if (std::get<Status>(state_).ok()) {
            state_ = Status::invalid("a failure was expected, got OK");
        }
    }

    [[nodiscard]] bool ok() const { return std::holds_alternative<T>(state_); }
    [[nodiscard]] Status status() const { return ok() ? Status() : std::get<Status>(state_); }
    [[nodiscard]] const T& value() const& { return std::get<T>(state_); }
    [[nodiscard]] T& value() & { return std::get<T>(state_); }
    [[nodiscard]] T&& value() && { return std::get<T>(std::move(state_)); }
    [[nodiscard]] const T& operator*() const& { return value(); }
    [[nodiscard]] T& operator*() & { return value(); }
    [[nodiscard]] const T* operator->() const { return &value(); }
    [[nodiscard]] T* operator->() { return &value(); }

private:
    std::variant<T, Status> state_;
};

}  // namespace vessamo
