#pragma once
// How the core and the batch steps say that something failed: a value or one failure that
// names its problem and the file it concerns. Callers report it where the work of a file
// ends; nothing below them shows it.

#include "core/progress.h"

#include <string>
#include <utility>
#include <variant>

namespace orva {

/// One failure: what went wrong and with which file.
struct Failure {
    Problem problem;
    std::string path;
    /// A code of the failing part, when it has one (the ProbeResult of a file that does not
    /// probe); 0 otherwise.
    int detail = 0;
    /// Already shown by the component that met it (the MP3 step words its own failures).
    bool reported = false;
};

/// The value of a step that has nothing to hand back.
struct Done {};

/// A value of T or the failure that stands in its place.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : value_(std::in_place_index<1>, std::move(failure)) {}

    bool Ok() const { return value_.index() == 0; }
    explicit operator bool() const { return Ok(); }
    T& Value() { return std::get<0>(value_); }
    const T& Value() const { return std::get<0>(value_); }
    T& operator*() { return Value(); }
    const T& operator*() const { return Value(); }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }
    /// The failure (only when !Ok()).
    const Failure& Error() const { return std::get<1>(value_); }

private:
    std::variant<T, Failure> value_;
};

}  // namespace orva
