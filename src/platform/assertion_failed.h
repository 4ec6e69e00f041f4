// The failure raised when an internal invariant breaks; its message is a fixed text.
#pragma once

#include <stdexcept>

// Like the runtime's assertion failure: not caught where it occurs, it ends the
// interrupted step and reaches the application's default error handler.
class EAssertionFailed : public std::logic_error {
public:
    using std::logic_error::logic_error;
};
