#pragma once

// The locked file of the tables is the platform layer's; this name stays for the code that holds
// a work folder through it.

#include "platform/locked_file.h"

namespace pelmira::worktables {

using platform::LockedFile;

} // namespace pelmira::worktables
