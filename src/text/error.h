#pragma once

#include <stdexcept>
#include <string>

namespace pelmira {

// Every failure that ends a run. The message is Spanish, in UTF-8, and says what went wrong and
// where; it travels up to the one place that shows it (the error box, or the CLI's stderr).
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace pelmira
