#pragma once

// The scratch folder of the tests: a fresh folder under the system's temporary folder, removed
// with everything in it (read-only entries too) when the object goes; plus whole-file reading and
// writing.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pelmira::testing {

class ScratchFolder {
public:
    // A new folder named pelmira-<purpose>-<random>.
    explicit ScratchFolder(std::string_view purpose = "test");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // One folder for the whole process (made on first use, removed when the process exits), for
    // programs such as fuzz targets that run many cases without a test around each.
    static const ScratchFolder& forProcess(std::string_view purpose);

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    // Writes a file (bytes as given, folders made as needed) and returns its path.
    std::filesystem::path write(std::string_view name, std::string_view bytes) const;

    // The names of the folder's entries, sorted.
    std::vector<std::string> names() const;

private:
    std::filesystem::path path_;
};

// The whole content of a file; empty when it cannot be read.
std::string readFile(const std::filesystem::path& file);
std::vector<unsigned char> readBytes(const std::filesystem::path& file);

// Replaces the content of a file; throws std::runtime_error when it cannot.
void writeFile(const std::filesystem::path& file, std::string_view bytes);
void writeBytes(const std::filesystem::path& file, const std::vector<unsigned char>& bytes);

} // namespace pelmira::testing
