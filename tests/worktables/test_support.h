#pragma once

// Helpers shared by the work-table tests: the scratch folder as a work folder, whole-file access
// and the fixture files.

#include "support/scratch_folder.h"
#include "worktables/table.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pelmira::worktables {
namespace fs = std::filesystem;
} // namespace pelmira::worktables

namespace pelmira::worktables::test {

using pelmira::testing::readBytes;
using pelmira::testing::ScratchFolder;
using pelmira::testing::writeBytes;

// The scratch folder as a work folder.
inline WorkFolder workFolder(const ScratchFolder& dir) {
    return WorkFolder(dir.path());
}

inline fs::path fixture(const std::string& name) {
    return fs::path(WORKTABLES_TEST_DATA) / name;
}

} // namespace pelmira::worktables::test
