#pragma once

// A file held open with an exclusive lock for as long as the object lives. On POSIX systems the
// lock is flock(LOCK_EX); on Windows the file is opened without sharing. Every failure throws
// pelmira::Error with a Spanish message that starts with the caller's `what` ("No se puede abrir
// la tabla /x/PROFT.DBF") and says why.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace pelmira::platform {

namespace native {
struct Status;
}

class LockedFile {
public:
    LockedFile() = default;
    LockedFile(LockedFile&& other) noexcept;
    LockedFile& operator=(LockedFile&& other) noexcept;
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    ~LockedFile(); // closes; a temporary file that was never put in place is removed

    // Opens an existing file for reading (and writing when allowed) and locks it. Fails with
    // "no existe" when it is missing and "está en uso por otro programa" when another process
    // holds it.
    static LockedFile openExisting(const std::filesystem::path& file, const std::string& what);

    // Creates a new, locked, empty temporary file in `dir`, named after `baseName`
    // ("~BASENAME.<process>.<n>.tmp").
    static LockedFile createTemporary(const std::filesystem::path& dir, const std::string& baseName,
                                      const std::string& what);

    // Holds the work folder `dir` for one whole run, so that two runs on the same folder (two
    // copies of the program) cannot take turns on its tables: between the steps of a run its
    // tables are closed, and without this the other run could rebuild them in between. Fails
    // with "está en uso por otro programa" while another run holds the folder. A folder that
    // cannot be opened gives a LockedFile that holds nothing: the table operations then report
    // what is wrong with the folder. On POSIX systems this is flock(LOCK_EX) on the folder
    // itself; on Windows a named mutex of the session, named after the folder's full path.
    static LockedFile lockFolder(const std::filesystem::path& dir, const std::string& what);

    bool isOpen() const;
    const std::filesystem::path& path() const { return path_; }

    // The whole content of the file.
    std::vector<unsigned char> readAll(const std::string& what) const;

    // Writes the whole content, given as consecutive parts, and flushes it to the disk.
    struct Part {
        const unsigned char* data;
        std::size_t size;
    };
    void writeAllAndSync(std::initializer_list<Part> parts, const std::string& what);

    // Gives the temporary file the permission bits of `model` (when that is open).
    void copyPermissionsFrom(const LockedFile& model);

    // Puts this temporary file in place of `target` (replacing it; a symbolic link is replaced,
    // not followed) while keeping it open and locked; from then on it is the file at `target`.
    // `previous`, the file held at `target` until now, is closed (it may be this file itself).
    void replace(const std::filesystem::path& target, LockedFile& previous,
                 const std::string& what);

    void close();

private:
    // The steps of createTemporary and replace, reporting what went wrong instead of throwing;
    // the replacement of a whole file (atomic_file.cpp) words its own messages from them.
    friend struct Replacement;
    static native::Status tryCreateTemporary(const std::filesystem::path& dir,
                                             const std::string& baseName, LockedFile& created);
    native::Status tryReplace(const std::filesystem::path& target, LockedFile& previous);

    std::intptr_t handle_ = -1; // a file descriptor, or a Windows HANDLE
    std::filesystem::path path_;
    bool temporary_ = false;
};

} // namespace pelmira::platform
