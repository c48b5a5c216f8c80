// The file calls of the platform layer on POSIX systems: open(2) with flock(2) for the locks,
// pread/pwrite, fsync of the file and of its folder, rename(2).

#include "platform/native_file.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmira::platform::native {

namespace fs = std::filesystem;

namespace {

Status classify(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return {Problem::Missing, err};
    case EACCES:
    case EPERM:
    case EROFS:
        return {Problem::Denied, err};
    case EISDIR:
        return {Problem::NotAFile, err};
    case EEXIST:
        return {Problem::Exists, err};
    case EWOULDBLOCK:
        return {Problem::Busy, err};
    default:
        return {Problem::Other, err};
    }
}

int fd(Handle handle) {
    return static_cast<int>(handle);
}

// Takes the exclusive lock on `descriptor` without waiting; Problem::Busy when another holds it.
Status lock(int descriptor) {
    while (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return {Problem::Busy, errno};
        if (errno != EINTR)
            return {Problem::Other, errno};
    }
    return {};
}

std::string folderOf(const fs::path& file) {
    const fs::path dir = file.parent_path();
    return dir.empty() ? std::string(".") : dir.string();
}

} // namespace

Status lastError() {
    return classify(errno);
}

Status openLocked(const fs::path& file, Handle& handle) {
    // The lock is taken on what the path names when the file is opened. If the file is replaced
    // between the opening and the locking (another process saving it), the lock is on a file
    // nobody will see again: the path is opened once more.
    for (int attempt = 0; attempt < 8; ++attempt) {
        int descriptor = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
        if (descriptor < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
            descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0)
            return lastError();
        handle = descriptor;
        struct stat opened {};
        if (::fstat(descriptor, &opened) != 0)
            return {Problem::Other, errno};
        if (!S_ISREG(opened.st_mode))
            return {Problem::NotAFile, 0};
        if (const Status locked = lock(descriptor); !locked.ok())
            return locked;
        struct stat now {};
        if (::stat(file.c_str(), &now) == 0 && now.st_dev == opened.st_dev &&
            now.st_ino == opened.st_ino)
            return {};
        ::close(descriptor);
        handle = kNoHandle;
    }
    return {Problem::Busy, 0};
}

Status lockFolder(const fs::path& dir, Handle& handle, fs::path& held) {
    const int descriptor = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return {};
    handle = descriptor;
    held = dir;
    return lock(descriptor);
}

Status createLocked(const fs::path& file, Handle& handle) {
    const int descriptor = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return lastError();
    handle = descriptor;
    return lock(descriptor);
}

unsigned long processId() {
    return static_cast<unsigned long>(::getpid());
}

Status readAll(Handle handle, std::vector<unsigned char>& bytes) {
    struct stat st {};
    if (::fstat(fd(handle), &st) != 0)
        return {Problem::Other, errno};
    if (st.st_size < 0 ||
        static_cast<std::uintmax_t>(st.st_size) > std::numeric_limits<std::size_t>::max() / 2)
        return {Problem::TooLarge, 0};
    try {
        bytes.resize(static_cast<std::size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        return {Problem::NoMemory, 0};
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pread(fd(handle), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return {Problem::Other, errno};
        }
        if (n == 0) {
            bytes.resize(done); // the file shrank while it was read
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

Status writeAt(Handle handle, std::uint64_t offset, const unsigned char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pwrite(fd(handle), data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return {Problem::Other, errno};
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

Status truncateAndSync(Handle handle, std::uint64_t size) {
    if (::ftruncate(fd(handle), static_cast<off_t>(size)) != 0 || ::fsync(fd(handle)) != 0)
        return {Problem::Other, errno};
    return {};
}

void copyPermissions(Handle from, Handle to) {
    struct stat st {};
    if (::fstat(fd(from), &st) == 0)
        (void)::fchmod(fd(to), st.st_mode & 07777);
}

bool replacedFileMustBeClosedFirst() {
    return false;
}

Status renameOver(Handle /*handle*/, const fs::path& from, const fs::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0)
        return lastError();
    // Make the new name durable too, so that after a crash the folder holds the new file.
    const int dir = ::open(folderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return {};
}

void close(Handle handle) {
    ::close(fd(handle));
}

void remove(const fs::path& file) {
    ::unlink(file.c_str());
}

} // namespace pelmira::platform::native
