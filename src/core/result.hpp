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

    static Error domain(std::string message) { return {Kind::Domain, std::move(message)}; }
    static Error internal(std::string message,
                          std::source_location where = std::source_location::current()) {
        return {Kind::Internal, std::move(message), where.file_name(), where.line()};
    }
    static Error out_of_memory() { return {Kind::OutOfMemory, {}}; }
    static Error interrupted() { return {Kind::Interrupted, {}}; }
};

// "index out of bounds: the len is L but the index is I"
std::string index_out_of_bounds(std::uint64_t len, std::uint64_t index);

template <class T, class E = Error>
class Result {
public:
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
