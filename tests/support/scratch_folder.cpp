#include "support/scratch_folder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace pelmira::testing {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(std::string_view purpose) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            fs::temp_directory_path() / ("pelmira-" + std::string(purpose) + "-" +
                                         std::to_string(random()) + std::to_string(random()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a scratch folder under " +
                             fs::temp_directory_path().string());
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    // Entries a test made read-only are removed too.
    for (fs::recursive_directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

const ScratchFolder& ScratchFolder::forProcess(std::string_view purpose) {
    // Static objects are destroyed when the process exits, which removes the folders.
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<ScratchFolder>, std::less<>> folders;
    const std::lock_guard lock(mutex);
    auto it = folders.find(purpose);
    if (it == folders.end())
        it = folders.emplace(std::string(purpose), std::make_unique<ScratchFolder>(purpose)).first;
    return *it->second;
}

fs::path ScratchFolder::write(std::string_view name, std::string_view bytes) const {
    const fs::path file = path_ / name;
    fs::create_directories(file.parent_path());
    writeFile(file, bytes);
    return file;
}

std::vector<std::string> ScratchFolder::names() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(path_))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<unsigned char> readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

void writeBytes(const fs::path& file, const std::vector<unsigned char>& bytes) {
    writeFile(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace pelmira::testing
