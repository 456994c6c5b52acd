// Why an archive operation did not happen. Every failure carries a sentence
// for the user; nothing is thrown across the archive's interface.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace vark::archive {

enum class ErrorKind {
    Missing,     // no archive at that place (reading never creates one)
    NotArchive,  // the file is not a database
    Corrupt,     // a database whose pages are damaged
    Newer,       // written by a newer program: left untouched
    ReadOnly,    // the file or its folder may not be written
    Busy,        // another program held the archive for too long
    Full,        // the disk (or the file-size limit) is full
    Io,          // any other failure of the system or the database
    NotFound,    // no run by that name
    Ambiguous,   // a prefix naming more than one run
    Invalid,     // a value the archive does not take (an unknown field, an empty reason)
};

struct Error {
    ErrorKind kind = ErrorKind::Io;
    std::string message;
};

// A value or the reason there is none.
template <class T>
class Result {
  public:
    Result(T value) : v_(std::move(value)) {}
    Result(Error error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(v_); }
    const T& value() const { return std::get<0>(v_); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    const Error& error() const { return std::get<1>(v_); }

  private:
    std::variant<T, Error> v_;
};

struct Done {};
using Status = Result<Done>;

}  // namespace vark::archive
