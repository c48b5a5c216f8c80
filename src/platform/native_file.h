#pragma once

// The system's file calls that the locked file and the atomic replacement are built on, one
// implementation per system (native_file_posix.cpp, native_file_win32.cpp). Only this layer uses
// them: every call returns a Status instead of throwing, and the callers word the message.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace pelmira::platform::native {

// A file descriptor on POSIX systems, a HANDLE on Windows.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// What went wrong, named alike on every system.
enum class Problem {
    None,
    Missing,  // the file, or a folder of its path, does not exist
    Denied,   // no permission, or a read-only file system
    NotAFile, // the path names a folder or a device
    Busy,     // another process holds the file
    Exists,   // a file of that name exists already
    TooLarge, // more than the memory of the process can hold
    NoMemory, // no memory for its content
    Other,    // anything else: see the code
};

struct Status {
    Problem problem = Problem::None;
    long code = 0; // the system's own error code (for systemErrorText), 0 when there is none

    bool ok() const { return problem == Problem::None; }
};

// The status after a failed system call, classified from the system's last error.
Status lastError();

// Opens the existing regular file `file` for reading (and writing when allowed) and takes the
// exclusive lock on it, without waiting.
Status openLocked(const std::filesystem::path& file, Handle& handle);

// Holds the folder `dir` against other processes that call this on the same folder. `handle`
// stays kNoHandle when the folder cannot be opened; `held` is the folder as held.
Status lockFolder(const std::filesystem::path& dir, Handle& handle, std::filesystem::path& held);

// Creates the new file `file` (Problem::Exists when there is one) for reading and writing, locked.
Status createLocked(const std::filesystem::path& file, Handle& handle);

// The process's number, for names of temporary files.
unsigned long processId();

Status readAll(Handle handle, std::vector<unsigned char>& bytes);
Status writeAt(Handle handle, std::uint64_t offset, const unsigned char* data, std::size_t size);
// Cuts the file to `size` bytes and flushes its content to the disk.
Status truncateAndSync(Handle handle, std::uint64_t size);

// Gives the file `to` the permission bits of the file `from` (where the system has them).
void copyPermissions(Handle from, Handle to);

// Whether the file that a rename replaces has to be closed first (Windows cannot replace an
// open file); otherwise it is closed after, so that its lock is held until it is replaced.
bool replacedFileMustBeClosedFirst();

// Renames the open file `from` (its handle `handle`) to `to`, replacing what `to` names (a link
// is replaced by the file, not followed); the handle stays open. Then makes the new name durable.
Status renameOver(Handle handle, const std::filesystem::path& from,
                  const std::filesystem::path& to);

void close(Handle handle);
void remove(const std::filesystem::path& file);

} // namespace pelmira::platform::native
