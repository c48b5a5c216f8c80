#pragma once

// Helpers shared by the work-table tests: a scratch folder per test and whole-file access.

#include "worktables/table.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace pelmira::worktables {
namespace fs = std::filesystem;
} // namespace pelmira::worktables

namespace pelmira::worktables::test {

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "pelmira-dbf-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp");
        dir_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const fs::path& dir() const { return dir_; }
    WorkFolder folder() const { return WorkFolder(dir_); }
    fs::path operator/(const std::string& name) const { return dir_ / name; }

    // The names of the folder's entries, sorted.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir_))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    fs::path dir_;
};

inline std::vector<unsigned char> readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

inline void writeBytes(const fs::path& p, const std::vector<unsigned char>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline fs::path fixture(const std::string& name) {
    return fs::path(WORKTABLES_TEST_DATA) / name;
}

} // namespace pelmira::worktables::test
