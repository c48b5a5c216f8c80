#include "worktables/locked_file.h"

#include "text/error.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cwctype>
#include <limits>
#include <utility>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pelmira::worktables {

namespace fs = std::filesystem;

namespace {

const char* kBusy = "está en uso por otro programa";
const char* kMissing = "no existe";
const char* kDiskFull = "no queda espacio en el disco";

std::string folderOf(const fs::path& p) {
    fs::path dir = p.parent_path();
    return dir.empty() ? std::string(".") : dir.string();
}

[[noreturn]] void fail(const std::string& what, const std::string& why) {
    throw Error(what + ": " + why);
}

std::atomic<unsigned> temporaryCounter{0};

} // namespace

LockedFile::LockedFile(LockedFile&& other) noexcept
    :
#ifdef _WIN32
      handle_(std::exchange(other.handle_, nullptr)),
#else
      fd_(std::exchange(other.fd_, -1)),
#endif
      path_(std::move(other.path_)), temporary_(std::exchange(other.temporary_, false)) {
}

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept {
    if (this != &other) {
        close();
#ifdef _WIN32
        handle_ = std::exchange(other.handle_, nullptr);
#else
        fd_ = std::exchange(other.fd_, -1);
#endif
        path_ = std::move(other.path_);
        temporary_ = std::exchange(other.temporary_, false);
    }
    return *this;
}

LockedFile::~LockedFile() {
    close();
}

#ifndef _WIN32

namespace {

std::string errnoText(int err) {
    if (err == ENOSPC
#ifdef EDQUOT
        || err == EDQUOT
#endif
    )
        return kDiskFull;
    return std::strerror(err);
}

} // namespace

bool LockedFile::isOpen() const {
    return fd_ >= 0;
}

void LockedFile::close() {
    if (fd_ >= 0) {
        ::close(fd_); // releases the lock
        fd_ = -1;
    }
    if (temporary_) {
        ::unlink(path_.c_str());
        temporary_ = false;
    }
}

LockedFile LockedFile::openExisting(const fs::path& file, const std::string& what) {
    // The lock is taken on what the path names when the file is opened. If the file is replaced
    // between the opening and the locking (another process saving it), the lock is on a file
    // nobody will see again: the path is opened once more.
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
            fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            if (err == ENOENT || err == ENOTDIR)
                fail(what, kMissing);
            if (err == EACCES || err == EPERM)
                fail(what, "no se tiene permiso para leerla");
            if (err == EISDIR)
                fail(what, "no es un archivo");
            fail(what, errnoText(err));
        }
        LockedFile locked;
        locked.fd_ = fd;
        locked.path_ = file;
        struct stat opened {};
        if (::fstat(fd, &opened) != 0)
            fail(what, errnoText(errno));
        if (!S_ISREG(opened.st_mode))
            fail(what, "no es un archivo");
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno == EWOULDBLOCK)
                fail(what, kBusy);
            fail(what, errnoText(errno));
        }
        struct stat now {};
        if (::stat(file.c_str(), &now) == 0 && now.st_dev == opened.st_dev &&
            now.st_ino == opened.st_ino)
            return locked;
    }
    fail(what, kBusy);
}

LockedFile LockedFile::lockFolder(const fs::path& dir, const std::string& what) {
    LockedFile locked;
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return locked;
    locked.fd_ = fd;
    locked.path_ = dir;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            fail(what, kBusy);
        fail(what, errnoText(errno));
    }
    return locked;
}

LockedFile LockedFile::createTemporary(const fs::path& dir, const std::string& baseName,
                                       const std::string& what) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = dir / ("~" + baseName + "." + std::to_string(::getpid()) + "." +
                                          std::to_string(temporaryCounter.fetch_add(1)) + ".tmp");
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int err = errno;
            if (err == EEXIST)
                continue;
            if (err == ENOENT || err == ENOTDIR)
                fail(what, "no existe la carpeta " + folderOf(candidate));
            if (err == EACCES || err == EPERM || err == EROFS)
                fail(what, "no se puede escribir en la carpeta " + folderOf(candidate));
            fail(what, errnoText(err));
        }
        LockedFile locked;
        locked.fd_ = fd;
        locked.path_ = candidate;
        locked.temporary_ = true;
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            fail(what, errnoText(errno));
        }
        return locked;
    }
    fail(what, "no se puede crear un archivo temporal en la carpeta " + dir.string());
}

std::vector<unsigned char> LockedFile::readAll(const std::string& what) const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        fail(what, errnoText(errno));
    if (st.st_size < 0 ||
        static_cast<std::uintmax_t>(st.st_size) > std::numeric_limits<std::size_t>::max() / 2)
        fail(what, "el archivo es demasiado grande");
    std::vector<unsigned char> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        fail(what, "no hay memoria suficiente para leerla");
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(what, errnoText(errno));
        }
        if (n == 0) {
            bytes.resize(done); // the file shrank while it was read
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}

void LockedFile::writeAllAndSync(std::initializer_list<Part> parts, const std::string& what) {
    std::size_t at = 0;
    for (const Part& part : parts) {
        std::size_t done = 0;
        while (done < part.size) {
            const ssize_t n =
                ::pwrite(fd_, part.data + done, part.size - done, static_cast<off_t>(at + done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                fail(what, errnoText(errno));
            }
            done += static_cast<std::size_t>(n);
        }
        at += part.size;
    }
    if (::ftruncate(fd_, static_cast<off_t>(at)) != 0)
        fail(what, errnoText(errno));
    if (::fsync(fd_) != 0)
        fail(what, errnoText(errno));
}

void LockedFile::copyPermissionsFrom(const LockedFile& model) {
    struct stat st {};
    if (model.fd_ >= 0 && ::fstat(model.fd_, &st) == 0)
        (void)::fchmod(fd_, st.st_mode & 07777);
}

void LockedFile::replace(const fs::path& target, LockedFile& previous, const std::string& what) {
    if (::rename(path_.c_str(), target.c_str()) != 0) {
        const int err = errno;
        if (err == EACCES || err == EPERM || err == EROFS)
            fail(what, "no se puede escribir en la carpeta " + folderOf(target));
        fail(what, errnoText(err));
    }
    path_ = target;
    temporary_ = false;
    // Make the new name durable too, so that after a crash the folder holds the new file.
    const int dir = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    if (&previous != this)
        previous.close(); // its lock was on the file that has just been replaced
}

#else // _WIN32

namespace {

std::string windowsErrorText(DWORD err) {
    if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL)
        return kDiskFull;
    return "error del sistema " + std::to_string(static_cast<unsigned long>(err));
}

} // namespace

bool LockedFile::isOpen() const {
    return handle_ != nullptr;
}

void LockedFile::close() {
    if (handle_ != nullptr) {
        ::CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
    if (temporary_) {
        ::DeleteFileW(path_.c_str());
        temporary_ = false;
    }
}

LockedFile LockedFile::openExisting(const fs::path& file, const std::string& what) {
    // No sharing: while the handle is open nobody else can open, rename or delete the file.
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
        h = ::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            fail(what, kMissing);
        if (err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION)
            fail(what, kBusy);
        if (err == ERROR_ACCESS_DENIED)
            fail(what, "no se tiene permiso para leerla");
        fail(what, windowsErrorText(err));
    }
    LockedFile locked;
    locked.handle_ = h;
    locked.path_ = file;
    return locked;
}

LockedFile LockedFile::lockFolder(const fs::path& dir, const std::string& what) {
    LockedFile locked;
    std::error_code ec;
    const fs::path full = fs::weakly_canonical(fs::absolute(dir, ec), ec);
    if (ec || !fs::is_directory(full, ec))
        return locked;
    // Mutex names cannot hold backslashes; file names compare without regard to letter case.
    std::wstring name = L"Local\\Pelmira-";
    for (wchar_t c : full.wstring())
        name += c == L'\\' ? L'/' : static_cast<wchar_t>(::towupper(c));
    HANDLE h = ::CreateMutexW(nullptr, FALSE, name.c_str());
    if (h == nullptr)
        fail(what, windowsErrorText(::GetLastError()));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(h);
        fail(what, kBusy);
    }
    locked.handle_ = h;
    locked.path_ = full;
    return locked;
}

LockedFile LockedFile::createTemporary(const fs::path& dir, const std::string& baseName,
                                       const std::string& what) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            dir / ("~" + baseName + "." + std::to_string(::GetCurrentProcessId()) + "." +
                   std::to_string(temporaryCounter.fetch_add(1)) + ".tmp");
        HANDLE h = ::CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                 nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD err = ::GetLastError();
            if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS)
                continue;
            if (err == ERROR_PATH_NOT_FOUND || err == ERROR_FILE_NOT_FOUND)
                fail(what, "no existe la carpeta " + folderOf(candidate));
            if (err == ERROR_ACCESS_DENIED || err == ERROR_WRITE_PROTECT)
                fail(what, "no se puede escribir en la carpeta " + folderOf(candidate));
            fail(what, windowsErrorText(err));
        }
        LockedFile locked;
        locked.handle_ = h;
        locked.path_ = candidate;
        locked.temporary_ = true;
        return locked;
    }
    fail(what, "no se puede crear un archivo temporal en la carpeta " + dir.string());
}

std::vector<unsigned char> LockedFile::readAll(const std::string& what) const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(static_cast<HANDLE>(handle_), &size))
        fail(what, windowsErrorText(::GetLastError()));
    if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) >
                                 std::numeric_limits<std::size_t>::max() / 2)
        fail(what, "el archivo es demasiado grande");
    std::vector<unsigned char> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        fail(what, "no hay memoria suficiente para leerla");
    }
    LARGE_INTEGER zero{};
    ::SetFilePointerEx(static_cast<HANDLE>(handle_), zero, nullptr, FILE_BEGIN);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
        DWORD got = 0;
        if (!::ReadFile(static_cast<HANDLE>(handle_), bytes.data() + done, chunk, &got, nullptr))
            fail(what, windowsErrorText(::GetLastError()));
        if (got == 0) {
            bytes.resize(done);
            break;
        }
        done += got;
    }
    return bytes;
}

void LockedFile::writeAllAndSync(std::initializer_list<Part> parts, const std::string& what) {
    for (const Part& part : parts) {
        std::size_t done = 0;
        while (done < part.size) {
            const DWORD chunk =
                static_cast<DWORD>(std::min<std::size_t>(part.size - done, 1 << 30));
            DWORD put = 0;
            if (!::WriteFile(static_cast<HANDLE>(handle_), part.data + done, chunk, &put, nullptr))
                fail(what, windowsErrorText(::GetLastError()));
            done += put;
        }
    }
    if (!::SetEndOfFile(static_cast<HANDLE>(handle_)) ||
        !::FlushFileBuffers(static_cast<HANDLE>(handle_)))
        fail(what, windowsErrorText(::GetLastError()));
}

void LockedFile::copyPermissionsFrom(const LockedFile&) {}

void LockedFile::replace(const fs::path& target, LockedFile& previous, const std::string& what) {
    // Windows cannot replace a file that is open, so the previous handle goes first; the
    // temporary file is renamed through its own handle and stays open without sharing.
    if (&previous != this)
        previous.close();
    const std::wstring name = target.wstring();
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.c_str(), name.size() * sizeof(wchar_t));
    if (!::SetFileInformationByHandle(static_cast<HANDLE>(handle_), FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size()))) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_ACCESS_DENIED)
            fail(what, "no se puede escribir en la carpeta " + folderOf(target));
        if (err == ERROR_SHARING_VIOLATION)
            fail(what, kBusy);
        fail(what, windowsErrorText(err));
    }
    path_ = target;
    temporary_ = false;
}

#endif

} // namespace pelmira::worktables
