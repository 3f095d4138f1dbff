// Errors as values for the core.
//
// Every core operation returns either its result or an `Error`; nothing in the
// core throws across its interface, prints, or knows about the interpreter.
// The binding layer decides how each kind of error reaches the caller.
#pragma once

#include <cstdint>
#include <source_location>
#include <string>
#include <utility>
#include <variant>

namespace velmora {

struct Error {
    enum class Kind {
        // The caller's input was rejected; `message` is the fixed user-facing text.
        Domain,
        // The library's own invariants were broken (a failed assertion, an
        // index outside an array). `message` is the failure text; `file` and
        // `line` say where it was detected.
        Internal,
        // An allocation failed.
        OutOfMemory,
        // A caller-supplied interruption check asked the computation to stop.
        Interrupted,
    };

    Kind kind;
    std::string message;
    const char* file = "";
    std::uint32_t line = 0;
    // For OutOfMemory: how many phases the failed allocation was for, or 0
    // when it was not one array of phases. A count rather than a text, so
    // that reporting the failure allocates nothing.
    std::uint64_t phases = 0;

    // The factories never throw. A message that cannot be allocated turns
    // the error into OutOfMemory, so reporting a failure cannot itself throw
    // out of the core.
    static Error domain(const char* message) noexcept {
        return guarded([message] { return Error{Kind::Domain, message}; });
    }
    static Error internal(const char* message,
                          std::source_location where = std::source_location::current()) noexcept {
        return formatted([message] { return std::string(message); }, where);
    }
    // An internal error whose message `format()` builds.
    template <class Format>
    static Error formatted(Format&& format,
                           std::source_location where = std::source_location::current()) noexcept {
        return guarded([&] { return Error{Kind::Internal, format(), where.file_name(), where.line()}; });
    }
    static Error out_of_memory(std::uint64_t phases = 0) noexcept { return {Kind::OutOfMemory, {}, "", 0, phases}; }
    static Error interrupted() noexcept { return {Kind::Interrupted, {}}; }

private:
    template <class Make>
    static Error guarded(Make&& make) noexcept {
        try {
            return make();
        } catch (...) {  // only the message's allocation can throw
            return out_of_memory();
        }
    }
};

// The internal error "index out of bounds: the len is L but the index is I".
inline Error index_out_of_bounds(std::uint64_t len, std::uint64_t index,
                                 std::source_location where = std::source_location::current()) noexcept {
    return Error::formatted(
        [&] {
            return "index out of bounds: the len is " + std::to_string(len) + " but the index is " +
                   std::to_string(index);
        },
        where);
}

template <class T, class E = Error>
class Result {
public:
    using value_type = T;
    using error_type = E;

    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const T& value() const& { return std::get<0>(state_); }
    E& error() & { return std::get<1>(state_); }
    E&& error() && { return std::get<1>(std::move(state_)); }

private:
    std::variant<T, E> state_;
};

struct Ok {};
template <class E = Error>
using StatusOf = Result<Ok, E>;
using Status = StatusOf<>;

}  // namespace velmora
