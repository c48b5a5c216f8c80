#include "platform/atomic_file.h"

#include "platform/error_text.h"
#include "platform/locked_file.h"
#include "platform/native_file.h"
#include "platform/path_text.h"

#include <cerrno>
#include <system_error>

namespace pelmira::platform {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSinkBuffer = 64 * 1024;

} // namespace

bool Sink::write(const void* data, std::size_t size) {
    if (failed())
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (buffer_.size() + size <= kSinkBuffer) {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        return true;
    }
    if (!flush())
        return false;
    if (size <= kSinkBuffer) {
        buffer_.assign(bytes, bytes + size);
        return true;
    }
    const native::Status status = native::writeAt(handle_, written_, bytes, size);
    if (!status.ok()) {
        failedCode_ = status.code != 0 ? status.code : -1;
        return false;
    }
    written_ += size;
    return true;
}

bool Sink::flush() {
    if (failed())
        return false;
    const native::Status status =
        native::writeAt(handle_, written_, buffer_.data(), buffer_.size());
    if (!status.ok()) {
        failedCode_ = status.code != 0 ? status.code : -1;
        return false;
    }
    written_ += buffer_.size();
    buffer_.clear();
    return true;
}

// The steps of a replacement, with access to the locked file and the sink they go through.
struct Replacement {
    const fs::path& target;
    const ReplaceOptions& options;

    [[noreturn]] void fail(ReplaceStage stage, const std::string& reason) const {
        ReplaceFailure failure{stage, reason};
        std::string message =
            options.describe ? options.describe(failure) : saveFailureMessage(target, failure);
        throw ReplaceError(std::move(failure), message);
    }

    [[noreturn]] void fail(ReplaceStage stage, long code) const {
        fail(stage, systemErrorText(code));
    }

    void run(const std::function<void(Sink&)>& write) const {
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(target, ec)))
            fail(ReplaceStage::Directory, errnoText(EISDIR));

        fs::path folder = target.parent_path();
        if (folder.empty())
            folder = ".";
        LockedFile temp;
        const native::Status created =
            LockedFile::tryCreateTemporary(folder, pathText(target.filename()), temp);
        if (!created.ok())
            fail(ReplaceStage::Temporary, created.code);

        Sink sink(temp.handle_);
        write(sink);
        if (!sink.flush())
            fail(ReplaceStage::Write, sink.failedCode_);
        const native::Status synced = native::truncateAndSync(temp.handle_, sink.written_);
        if (!synced.ok())
            fail(ReplaceStage::Write, synced.code);

        if (options.keepPermissions) {
            const fs::perms perms = fs::status(target, ec).permissions();
            if (!ec && perms != fs::perms::unknown)
                fs::permissions(temp.path(), perms, ec);
        }
        const native::Status renamed = temp.tryReplace(target, temp);
        if (!renamed.ok())
            fail(ReplaceStage::Rename, renamed.code);
    }
};

void replaceFile(const fs::path& target, const std::function<void(Sink&)>& write,
                 const ReplaceOptions& options) {
    Replacement{target, options}.run(write);
}

std::string saveFailureMessage(const fs::path& target, const ReplaceFailure& failure) {
    std::string message = "No se puede guardar el archivo " + pathText(target) + ": ";
    switch (failure.stage) {
    case ReplaceStage::Directory:
        return message + "es una carpeta";
    case ReplaceStage::Temporary:
        return message + "no se puede crear el archivo temporal (" + failure.reason + ")";
    default:
        return message + failure.reason;
    }
}

} // namespace pelmira::platform
