#pragma once

// The tests' scratch folder under the name most tests know it by.

#include "support/scratch_folder.h"

namespace pelmira::testing {

using TempDir = ScratchFolder;

} // namespace pelmira::testing
