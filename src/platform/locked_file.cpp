#include "platform/locked_file.h"

#include "platform/error_text.h"
#include "platform/native_file.h"
#include "platform/path_text.h"
#include "text/error.h"

#include <atomic>
#include <utility>

namespace pelmira::platform {

namespace fs = std::filesystem;

namespace {

const char* kBusy = "está en uso por otro programa";

std::string folderOf(const fs::path& p) {
    const fs::path dir = p.parent_path();
    return dir.empty() ? std::string(".") : pathText(dir);
}

[[noreturn]] void fail(const std::string& what, const std::string& why) {
    throw Error(what + ": " + why);
}

// The reason of a failure that has no wording of its own in the operation that met it.
std::string reasonOf(const native::Status& status) {
    switch (status.problem) {
    case native::Problem::Busy:
        return kBusy;
    case native::Problem::TooLarge:
        return "el archivo es demasiado grande";
    case native::Problem::NoMemory:
        return "no hay memoria suficiente para leerla";
    default:
        break;
    }
    return systemErrorText(status.code);
}

void check(const native::Status& status, const std::string& what) {
    if (!status.ok())
        fail(what, reasonOf(status));
}

std::atomic<unsigned> temporaryCounter{0};

} // namespace

LockedFile::LockedFile(LockedFile&& other) noexcept
    : handle_(std::exchange(other.handle_, native::kNoHandle)), path_(std::move(other.path_)),
      temporary_(std::exchange(other.temporary_, false)) {}

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, native::kNoHandle);
        path_ = std::move(other.path_);
        temporary_ = std::exchange(other.temporary_, false);
    }
    return *this;
}

LockedFile::~LockedFile() {
    close();
}

bool LockedFile::isOpen() const {
    return handle_ != native::kNoHandle;
}

void LockedFile::close() {
    if (handle_ != native::kNoHandle) {
        native::close(handle_); // releases the lock
        handle_ = native::kNoHandle;
    }
    if (temporary_) {
        native::remove(path_);
        temporary_ = false;
    }
}

LockedFile LockedFile::openExisting(const fs::path& file, const std::string& what) {
    LockedFile locked;
    const native::Status status = native::openLocked(file, locked.handle_);
    switch (status.problem) {
    case native::Problem::None:
        locked.path_ = file;
        return locked;
    case native::Problem::Missing:
        fail(what, "no existe");
    case native::Problem::Denied:
        fail(what, "no se tiene permiso para leerla");
    case native::Problem::NotAFile:
        fail(what, "no es un archivo");
    default:
        fail(what, reasonOf(status));
    }
}

LockedFile LockedFile::lockFolder(const fs::path& dir, const std::string& what) {
    LockedFile locked;
    fs::path held;
    check(native::lockFolder(dir, locked.handle_, held), what);
    if (locked.isOpen())
        locked.path_ = held;
    return locked;
}

native::Status LockedFile::tryCreateTemporary(const fs::path& dir, const std::string& baseName,
                                              LockedFile& created) {
    native::Status status;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // The base name is UTF-8 text; on Windows a narrow string would be taken as the
        // system's code page instead.
        const std::string name = "~" + baseName + "." + std::to_string(native::processId()) + "." +
                                 std::to_string(temporaryCounter.fetch_add(1)) + ".tmp";
        const fs::path candidate = dir / fs::path(std::u8string(name.begin(), name.end()));
        LockedFile file;
        status = native::createLocked(candidate, file.handle_);
        if (status.problem == native::Problem::Exists)
            continue;
        if (status.ok()) {
            file.path_ = candidate;
            file.temporary_ = true;
            created = std::move(file);
        }
        return status;
    }
    return status;
}

LockedFile LockedFile::createTemporary(const fs::path& dir, const std::string& baseName,
                                       const std::string& what) {
    LockedFile locked;
    const native::Status status = tryCreateTemporary(dir, baseName, locked);
    switch (status.problem) {
    case native::Problem::None:
        return locked;
    case native::Problem::Missing:
        fail(what, "no existe la carpeta " + folderOf(dir / baseName));
    case native::Problem::Denied:
        fail(what, "no se puede escribir en la carpeta " + folderOf(dir / baseName));
    case native::Problem::Exists:
        fail(what, "no se puede crear un archivo temporal en la carpeta " + pathText(dir));
    default:
        fail(what, reasonOf(status));
    }
}

std::vector<unsigned char> LockedFile::readAll(const std::string& what) const {
    std::vector<unsigned char> bytes;
    check(native::readAll(handle_, bytes), what);
    return bytes;
}

void LockedFile::writeAllAndSync(std::initializer_list<Part> parts, const std::string& what) {
    std::uint64_t at = 0;
    for (const Part& part : parts) {
        check(native::writeAt(handle_, at, part.data, part.size), what);
        at += part.size;
    }
    check(native::truncateAndSync(handle_, at), what);
}

void LockedFile::copyPermissionsFrom(const LockedFile& model) {
    if (model.isOpen())
        native::copyPermissions(model.handle_, handle_);
}

native::Status LockedFile::tryReplace(const fs::path& target, LockedFile& previous) {
    const bool closeFirst = native::replacedFileMustBeClosedFirst();
    if (closeFirst && &previous != this)
        previous.close();
    const native::Status status = native::renameOver(handle_, path_, target);
    if (!status.ok())
        return status;
    path_ = target;
    temporary_ = false;
    if (!closeFirst && &previous != this)
        previous.close(); // its lock was on the file that has just been replaced
    return status;
}

void LockedFile::replace(const fs::path& target, LockedFile& previous, const std::string& what) {
    const native::Status status = tryReplace(target, previous);
    if (status.problem == native::Problem::Denied)
        fail(what, "no se puede escribir en la carpeta " + folderOf(target));
    check(status, what);
}

} // namespace pelmira::platform
