#pragma once
// Typed errors. what() is the text the user is shown.
#include <stdexcept>
#include <string>

namespace qv {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// Division by zero, log of a non-positive value, overflow of a stored width.
class EArithmetic : public Exception { using Exception::Exception; };
// An index or a value outside the range it must fit.
class ERangeError : public Exception { using Exception::Exception; };
// The one error of an index, count or size found outside its range: throw RangeCheckError().
inline ERangeError RangeCheckError() { return ERangeError("Range check error"); }
// Text that does not convert to a number.
class EConvertError : public Exception { using Exception::Exception; };
// A stream that ends early or holds a count larger than what remains.
class EReadError : public Exception { using Exception::Exception; };
// A file that cannot be opened, created, written, renamed or deleted.
class EInOutError : public Exception { using Exception::Exception; };
// Ends an operation whose reason the user has been told already: nothing more is shown.
class EAbort : public Exception {
 public:
  EAbort() : Exception("") {}
};
// An internal consistency check that failed (carries the source unit in its text).
class EAssertionFailed : public Exception { using Exception::Exception; };

}  // namespace qv
