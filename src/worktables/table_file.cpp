// The file of a table: opening and reading it, rebuilding it empty, and saving it atomically
// while its lock is held.

#include "platform/local_time.h"
#include "platform/path_text.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/table_impl.h"

#include <algorithm>
#include <ctime>
#include <system_error>

namespace pelmira::worktables {

namespace fs = std::filesystem;
using platform::LockedFile;

namespace {

std::string upperFileName(std::string_view name) {
    return codec::upperAscii(name) + ".DBF";
}

void checkTableName(std::string_view name, const std::string& what) {
    if (name.empty() || name.find_first_of("/\\:") != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        throw Error(what + ": el nombre de la tabla no es válido");
}

} // namespace

// Writes the whole table to a new locked file beside it and puts that in its place. The lock
// moves to the new file with it, so the table is held throughout.
void Table::Impl::save(const std::string& what, LockedFile* held) {
    std::vector<unsigned char> head = bytes;
    const std::tm local = platform::localTime(std::time(nullptr));
    head[dbf::kDateOffset] = static_cast<unsigned char>(std::clamp(local.tm_year, 0, 255));
    head[dbf::kDateOffset + 1] = static_cast<unsigned char>(local.tm_mon + 1);
    head[dbf::kDateOffset + 2] = static_cast<unsigned char>(local.tm_mday);
    dbf::writeU32(head.data() + dbf::kRecordCountOffset, count);
    static const unsigned char endOfFile = dbf::kEndOfFile;

    LockedFile fresh =
        LockedFile::createTemporary(path.parent_path(), platform::pathText(path.filename()), what);
    fresh.writeAllAndSync({{head.data(), head.size()},
                           {data.data() + base, std::size_t(count) * recordLength},
                           {&endOfFile, 1}},
                          what);
    fresh.copyPermissionsFrom(file);
    // The file being replaced is closed by replace() where the system needs that (Windows refuses
    // to rename over a file that is open), after the rename elsewhere.
    fresh.replace(path, held != nullptr ? *held : file, what);
    file = std::move(fresh);
    dirty = false;
}

std::unique_ptr<Table::Impl> Table::Impl::load(const fs::path& file, std::string name) {
    const std::string what = "No se puede abrir la tabla " + platform::pathText(file);
    auto impl = std::make_unique<Impl>();
    impl->path = file;
    impl->name = std::move(name);
    impl->file = LockedFile::openExisting(file, what);
    std::vector<unsigned char> content = impl->file.readAll(what);
    static_cast<TableHeader&>(*impl) = parseHeader(content, impl->fileText());

    // The records stay in the bytes as read, after the header, without the end-of-file mark.
    impl->base = impl->bytes.size();
    impl->count = impl->recordCount;
    content.resize(impl->base + std::size_t(impl->count) * impl->recordLength);
    impl->data = std::move(content);
    for (std::uint32_t i = 0; i < impl->count; ++i) {
        const char status = impl->recordAt(i)[0];
        if (status != dbf::kLive && status != dbf::kDeleted)
            damagedTable(impl->fileText(), "el registro " + std::to_string(i + 1) +
                                               " empieza por una marca desconocida (" +
                                               codec::hex2(static_cast<unsigned char>(status)) +
                                               ")");
    }
    impl->open = true;
    impl->current = impl->nextLive(0);
    return impl;
}

Table::Table(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Table::Table(Table&&) noexcept = default;
Table& Table::operator=(Table&& other) noexcept {
    if (this != &other) {
        if (impl_) {
            try {
                close();
            } catch (...) {
            }
        }
        impl_ = std::move(other.impl_);
    }
    return *this;
}

Table::~Table() {
    if (!impl_)
        return;
    try {
        close();
    } catch (...) {
        // Reported only through close().
    }
}

Table Table::rebuild(const WorkFolder& folder, std::string_view name, const Schema& schema) {
    const std::string fileName = upperFileName(name);
    const fs::path target = folder.dir() / fileName;
    const std::string what = "No se puede crear la tabla " + platform::pathText(target);
    checkTableName(name, what);

    std::error_code ec;
    if (!fs::is_directory(folder.dir(), ec))
        throw Error(what + ": no existe la carpeta " + platform::pathText(folder.dir()));

    auto impl = std::make_unique<Impl>();
    static_cast<TableHeader&>(*impl) = buildHeader(schema, what);
    impl->path = target;
    impl->name = std::string(name);

    // Hold every existing spelling of the table while it is replaced, so that a table another
    // program has open is reported and left alone. The one that is the table's own file (its very
    // name, or the same file under another spelling) is replaced by the new table; the others go
    // once it is in place.
    std::vector<LockedFile> previous;
    const auto matchesOf = [&](const std::string& file) {
        std::vector<fs::path> found;
        for (fs::directory_iterator it(folder.dir(), ec), end; !ec && it != end; it.increment(ec))
            if (codec::upperAscii(it->path().filename().string()) == file)
                found.push_back(it->path());
        return found;
    };
    const std::vector<fs::path> oldFiles = matchesOf(fileName);
    previous.reserve(oldFiles.size()); // `same` points into it
    LockedFile* same = nullptr;        // the held file that the new table replaces, if any
    std::vector<fs::path> others;      // the other spellings, removed afterwards
    for (const fs::path& old : oldFiles) {
        previous.push_back(LockedFile::openExisting(old, what));
        std::error_code eq;
        if (old.filename() == target.filename())
            same = &previous.back();
        else if (fs::equivalent(old, target, eq)) {
            if (same == nullptr)
                same = &previous.back();
        } else {
            others.push_back(old);
        }
    }
    folder.remove(codec::upperAscii(name) + ".MDX");

    impl->save(what, same); // writes the empty table and keeps it locked
    for (const fs::path& old : others) {
        std::error_code removed;
        fs::remove(old, removed);
    }
    previous.clear();
    impl->open = true;
    impl->current = Impl::kNone;
    return Table(std::move(impl));
}

Table Table::open(const WorkFolder& folder, std::string_view name) {
    const fs::path file = folder.pathFor(upperFileName(name));
    checkTableName(name, "No se puede abrir la tabla " + platform::pathText(file));
    return Table(Impl::load(file, std::string(name)));
}

Table Table::openFile(const fs::path& file) {
    return Table(Impl::load(file, file.stem().string()));
}

void Table::close() {
    if (!impl_ || !impl_->open)
        return;
    Impl& t = *impl_;
    t.state = Impl::State::Browse; // an unposted record is dropped
    t.buffer.clear();
    if (t.dirty)
        t.save("No se puede guardar la tabla " + t.fileText());
    t.file.close();
    t.open = false;
    t.indexes.clear();
    t.data.clear();
    t.data.shrink_to_fit();
    t.current = Impl::kNone;
}

} // namespace pelmira::worktables
