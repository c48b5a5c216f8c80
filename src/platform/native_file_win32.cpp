// The file calls of the platform layer on Windows: files opened without sharing (CreateFileW with
// share mode 0) stand for the locks, a named mutex of the session for the work folder, ReadFile
// and WriteFile at explicit offsets, FlushFileBuffers, and the rename through the open handle
// (SetFileInformationByHandle with FileRenameInfo), which keeps the new file open.

#include "platform/native_file.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <limits>
#include <new>
#include <string>
#include <system_error>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace pelmira::platform::native {

namespace fs = std::filesystem;

namespace {

Status classify(DWORD err) {
    const long code = static_cast<long>(err);
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {Problem::Missing, code};
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return {Problem::Denied, code};
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return {Problem::Busy, code};
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return {Problem::Exists, code};
    case ERROR_DIRECTORY:
        return {Problem::NotAFile, code};
    default:
        return {Problem::Other, code};
    }
}

HANDLE h(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

Handle toHandle(HANDLE handle) {
    return reinterpret_cast<Handle>(handle);
}

// An OVERLAPPED that places a synchronous read or write at `offset`.
OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return where;
}

constexpr std::size_t kChunk = std::size_t(1) << 30;

} // namespace

Status lastError() {
    return classify(::GetLastError());
}

Status openLocked(const fs::path& file, Handle& handle) {
    // No sharing: while the handle is open nobody else can open, rename or delete the file.
    HANDLE opened = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
        opened = ::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        const Status failed = lastError();
        // A folder cannot be opened as a file, and says so as a lack of access.
        const DWORD attributes = ::GetFileAttributesW(file.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return {Problem::NotAFile, 0};
        return failed;
    }
    handle = toHandle(opened);
    if (::GetFileType(opened) != FILE_TYPE_DISK)
        return {Problem::NotAFile, 0};
    return {};
}

Status lockFolder(const fs::path& dir, Handle& handle, fs::path& held) {
    std::error_code ec;
    const fs::path full = fs::weakly_canonical(fs::absolute(dir, ec), ec);
    if (ec || !fs::is_directory(full, ec))
        return {};
    // Mutex names cannot hold backslashes; file names compare without regard to letter case.
    std::wstring name = L"Local\\Pelmira-";
    for (wchar_t c : full.wstring())
        name += c == L'\\' ? L'/' : static_cast<wchar_t>(std::towupper(c));
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex == nullptr)
        return {Problem::Other, static_cast<long>(::GetLastError())};
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return {Problem::Busy, 0};
    }
    handle = toHandle(mutex);
    held = full;
    return {};
}

Status createLocked(const fs::path& file, Handle& handle) {
    HANDLE created = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE)
        return lastError();
    handle = toHandle(created);
    return {};
}

unsigned long processId() {
    return static_cast<unsigned long>(::GetCurrentProcessId());
}

Status readAll(Handle handle, std::vector<unsigned char>& bytes) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h(handle), &size))
        return {Problem::Other, static_cast<long>(::GetLastError())};
    if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) >
                                 std::numeric_limits<std::size_t>::max() / 2)
        return {Problem::TooLarge, 0};
    try {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        return {Problem::NoMemory, 0};
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min(bytes.size() - done, kChunk));
        OVERLAPPED where = at(done);
        DWORD got = 0;
        if (!::ReadFile(h(handle), bytes.data() + done, chunk, &got, &where)) {
            const DWORD err = ::GetLastError();
            if (err == ERROR_HANDLE_EOF)
                got = 0;
            else
                return {Problem::Other, static_cast<long>(err)};
        }
        if (got == 0) {
            bytes.resize(done); // the file shrank while it was read
            break;
        }
        done += got;
    }
    return {};
}

Status writeAt(Handle handle, std::uint64_t offset, const unsigned char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(std::min(size - done, kChunk));
        OVERLAPPED where = at(offset + done);
        DWORD put = 0;
        if (!::WriteFile(h(handle), data + done, chunk, &put, &where))
            return {Problem::Other, static_cast<long>(::GetLastError())};
        done += put;
    }
    return {};
}

Status truncateAndSync(Handle handle, std::uint64_t size) {
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(h(handle), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(h(handle)) ||
        !::FlushFileBuffers(h(handle)))
        return {Problem::Other, static_cast<long>(::GetLastError())};
    return {};
}

void copyPermissions(Handle, Handle) {
    // Windows files have no permission bits; their access lists come from the folder.
}

bool replacedFileMustBeClosedFirst() {
    return true;
}

Status renameOver(Handle handle, const fs::path& /*from*/, const fs::path& to) {
    // The file is renamed through its own handle, so that it stays open without sharing. A link
    // at `to` is replaced by the file, as a rename replaces any name.
    std::error_code ec;
    fs::path full = fs::absolute(to, ec);
    if (ec)
        full = to;
    const std::wstring name = full.wstring();
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.c_str(), name.size() * sizeof(wchar_t));
    if (!::SetFileInformationByHandle(h(handle), FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size())))
        return lastError();
    // Make the new name durable too: flushing the file's handle also writes its metadata.
    (void)::FlushFileBuffers(h(handle));
    return {};
}

void close(Handle handle) {
    ::CloseHandle(h(handle));
}

void remove(const fs::path& file) {
    ::DeleteFileW(file.c_str());
}

} // namespace pelmira::platform::native
