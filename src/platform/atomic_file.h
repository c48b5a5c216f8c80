#pragma once

// Replacing a whole file at once: the new content is written to a temporary file beside it,
// flushed to the disk and renamed over the old one, and the folder is flushed too, so that after
// a failure or a crash the file is either the old one or the new one, never a mix. The tables use
// the same steps through LockedFile::createTemporary and LockedFile::replace, which keep the new
// file open and locked.

#include "text/error.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pelmira::platform {

// Where the new content goes: the bytes are buffered and written in order. Once a write has
// failed, every later one is dropped and returns false; the replacement then fails with the
// reason of that write.
class Sink {
public:
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    bool write(const void* data, std::size_t size);
    bool failed() const { return failedCode_ != 0; }

private:
    friend struct Replacement;
    explicit Sink(std::intptr_t handle) : handle_(handle) {}
    bool flush();

    std::intptr_t handle_;
    std::uint64_t written_ = 0;
    std::vector<unsigned char> buffer_;
    long failedCode_ = 0;
};

// The step of a replacement that failed.
enum class ReplaceStage {
    Directory, // the destination is a folder
    Temporary, // the temporary file could not be created beside it
    Write,     // the new content could not be written or flushed to the disk
    Rename,    // the temporary file could not be put in place of the old one
};

struct ReplaceFailure {
    ReplaceStage stage;
    std::string reason; // the system's reason in Spanish ("no queda espacio en el disco")
};

// Thrown when a replacement fails; the old file is then as it was and no temporary is left.
class ReplaceError : public Error {
public:
    ReplaceError(ReplaceFailure failure, const std::string& message)
        : Error(message), failure_(std::move(failure)) {}

    ReplaceStage stage() const { return failure_.stage; }
    const std::string& reason() const { return failure_.reason; }

private:
    ReplaceFailure failure_;
};

// The message of the ReplaceError of a failure.
using DescribeFailure = std::function<std::string(const ReplaceFailure&)>;

struct ReplaceOptions {
    // Gives the new file the permission bits of the one it replaces (where there is one).
    bool keepPermissions = false;
    // Words the message; without it, saveFailureMessage(target, failure).
    DescribeFailure describe;
};

// Replaces the file `target` by what `write` puts into the sink. A symbolic link at `target` is
// replaced by the new file (the file it pointed to stays as it was); a folder is refused. What
// `write` throws passes through, after the temporary file has been removed.
void replaceFile(const std::filesystem::path& target, const std::function<void(Sink&)>& write,
                 const ReplaceOptions& options = {});

// "No se puede guardar el archivo TARGET: " and the failure: "es una carpeta", "no se puede
// crear el archivo temporal (REASON)", or the reason itself.
std::string saveFailureMessage(const std::filesystem::path& target, const ReplaceFailure& failure);

} // namespace pelmira::platform
