#pragma once

// The message of the error an attempt throws, for the tests that check what a failure says.

#include "text/error.h"

#include <functional>
#include <string>

namespace pelmira::testing {

// What the pelmira::Error thrown by `attempt` says, or "(no error)" when it throws none.
inline std::string errorOf(const std::function<void()>& attempt) {
    try {
        attempt();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace pelmira::testing
