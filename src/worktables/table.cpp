// The table as its users see it: the cursor over the records, reading fields, and editing
// (append, edit, post, delete, pack, locate). Opening, rebuilding and saving are in table_file.cpp.

#include "platform/path_text.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/table_impl.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace pelmira::worktables {

namespace fs = std::filesystem;
using codec::Column;

// ---- Impl: records and fields ----------------------------------------------------------------

Table::Impl::Impl()
    : indexes([this](std::size_t column, const char* record, std::uint32_t recNo) {
          return textOf(columns[column], record, recNo);
      }) {}

std::string Table::Impl::fileText() const {
    return platform::pathText(path);
}

std::string Table::Impl::tableText() const {
    return text::toUtf8(name);
}

void Table::Impl::fieldError(const Column& c, const std::string& why) const {
    throw Error("El campo " + text::toUtf8(c.info.name) + " de la tabla " + tableText() + " " +
                why);
}

const char* Table::Impl::view() const {
    if (state != State::Browse)
        return buffer.data();
    if (current == kNone)
        return nullptr;
    return recordAt(static_cast<std::uint32_t>(current));
}

std::uint32_t Table::Impl::recNoOfView() const {
    return (state == State::Browse && current != kNone) ? static_cast<std::uint32_t>(current + 1)
                                                        : 0;
}

std::int64_t Table::Impl::nextLive(std::int64_t from) const {
    for (std::int64_t i = from; i < static_cast<std::int64_t>(count); ++i)
        if (liveAt(static_cast<std::uint32_t>(i)))
            return i;
    return kNone;
}

std::string Table::Impl::blankRecord() const {
    std::string rec(recordLength, ' ');
    for (const Column& c : columns)
        codec::writeBlank(c, rec.data() + 1 + c.info.offset);
    return rec;
}

void Table::Impl::requireOpen() const {
    if (!open)
        throw Error("La tabla " + tableText() + " está cerrada");
}

void Table::Impl::requireWritable() const {
    requireOpen();
    if (!readOnlyReason.empty())
        throw Error("No se puede modificar la tabla " + fileText() + ": " + readOnlyReason);
}

const Column& Table::Impl::column(std::string_view field) const {
    requireOpen();
    if (auto it = byName.find(codec::upperAscii(field)); it != byName.end())
        return columns[it->second];
    throw Error("La tabla " + tableText() + " no tiene el campo " + text::toUtf8(field));
}

std::size_t Table::Impl::columnIndex(std::string_view field) const {
    return static_cast<std::size_t>(&column(field) - columns.data());
}

std::string_view Table::Impl::raw(const Column& c, const char* rec) const {
    return std::string_view(rec + 1 + c.info.offset, static_cast<std::size_t>(c.info.length));
}

bool Table::Impl::blank(const Column& c, const char* rec) const {
    return rec == nullptr || codec::isBlank(c, raw(c, rec));
}

std::optional<double> Table::Impl::numeric(const Column& c, const char* rec,
                                           std::uint32_t recNo) const {
    if (rec == nullptr)
        return std::nullopt;
    const codec::Number n = codec::readNumber(c, raw(c, rec));
    switch (n.state) {
    case codec::Number::State::Value:
        return n.value;
    case codec::Number::State::Blank:
        return std::nullopt;
    case codec::Number::State::Invalid:
        break;
    }
    damagedTable(fileText(), "el campo " + text::toUtf8(c.info.name) + " del registro " +
                                 std::to_string(recNo) + " no contiene un número válido ('" +
                                 text::toUtf8(std::string(codec::trimBlanks(raw(c, rec)))) + "')");
}

std::string Table::Impl::textOf(const Column& c, const char* rec, std::uint32_t recNo) const {
    if (rec == nullptr)
        return {};
    if (auto text = codec::readText(c, raw(c, rec), codePage))
        return std::move(*text);
    (void)numeric(c, rec, recNo); // reports the field that holds no number
    return {};
}

std::string Table::Impl::trimmedText(const Column& c) const {
    return std::string(codec::trimBlanks(textOf(c, view(), recNoOfView())));
}

std::optional<double> Table::Impl::numberOfView(const Column& c) const {
    if (!codec::isNumeric(c.kind))
        fieldError(c, "no es numérico");
    return numeric(c, view(), recNoOfView());
}

void Table::Impl::requireEditing(const Column& c) const {
    if (state == State::Browse)
        fieldError(c, "no se puede cambiar: el registro no está en edición");
}

void Table::Impl::storeText(const Column& c, std::string_view cp1252) {
    codec::writeText(c, cp1252, slot(c));
}

void Table::Impl::storeNumber(const Column& c, double v) {
    switch (codec::writeNumber(c, v, slot(c))) {
    case codec::WriteResult::Done:
        return;
    case codec::WriteResult::NotFinite:
        fieldError(c, "no admite el valor " + codec::shortestDecimal(v));
    case codec::WriteResult::NoRoom:
        fieldError(c, "no tiene sitio para el valor " + codec::shortestDecimal(v));
    case codec::WriteResult::Unsupported:
        break;
    }
    fieldError(c, "no se puede escribir en este formato");
}

void Table::Impl::post() {
    if (state == State::Browse)
        return;
    const bool live = buffer[0] != dbf::kDeleted;
    if (state == State::Append) {
        if (count == std::numeric_limits<std::uint32_t>::max() ||
            (static_cast<std::uint64_t>(count) + 1) * recordLength + bytes.size() + 1 >
                std::numeric_limits<std::uint32_t>::max())
            throw Error("No se puede añadir un registro a la tabla " + fileText() +
                        ": la tabla está llena");
        const std::uint32_t pos = count;
        const LookupIndexes::Keys keys = indexes.keysOf(buffer.data(), pos + 1);
        data.insert(data.end(), buffer.begin(), buffer.end());
        ++count;
        if (live)
            indexes.insert(keys, pos);
        current = pos;
    } else {
        const std::uint32_t pos = static_cast<std::uint32_t>(current);
        char* rec = recordAt(pos);
        const bool wasLive = rec[0] != dbf::kDeleted;
        const LookupIndexes::Keys before = indexes.keysOf(rec, pos + 1);
        const LookupIndexes::Keys after = indexes.keysOf(buffer.data(), pos + 1);
        std::memcpy(rec, buffer.data(), recordLength);
        indexes.update(pos, wasLive, before, live, after);
    }
    dirty = true;
    state = State::Browse;
    buffer.clear();
}

// ---- Table ----------------------------------------------------------------------------------

bool Table::isOpen() const {
    return impl_ && impl_->open;
}

const fs::path& Table::path() const {
    static const fs::path none;
    return impl_ ? impl_->path : none;
}

const std::string& Table::name() const {
    static const std::string none;
    return impl_ ? impl_->name : none;
}

const std::vector<FieldInfo>& Table::fields() const {
    static const std::vector<FieldInfo> none;
    return impl_ ? impl_->infos : none;
}

bool Table::hasField(std::string_view field) const {
    return impl_ && impl_->byName.contains(codec::upperAscii(field));
}

std::uint32_t Table::recordCount() const {
    return impl_ ? impl_->count : 0;
}

bool Table::first() {
    Impl& t = *impl_;
    t.requireOpen();
    t.postIfEditing();
    t.current = t.nextLive(0);
    return t.current != Impl::kNone;
}

bool Table::next() {
    Impl& t = *impl_;
    t.requireOpen();
    t.postIfEditing();
    if (t.current == Impl::kNone)
        return false;
    t.current = t.nextLive(t.current + 1);
    return t.current != Impl::kNone;
}

bool Table::eof() const {
    return !impl_ || !impl_->open ||
           (impl_->state == Impl::State::Browse && impl_->current == Impl::kNone);
}

std::uint32_t Table::recNo() const {
    if (!impl_ || impl_->current == Impl::kNone)
        return 0;
    return static_cast<std::uint32_t>(impl_->current + 1);
}

void Table::go(std::uint32_t recNo) {
    Impl& t = *impl_;
    t.requireOpen();
    t.postIfEditing();
    if (recNo < 1 || recNo > t.count)
        throw Error("La tabla " + t.tableText() + " no tiene el registro " + std::to_string(recNo));
    t.current = recNo - 1;
}

bool Table::isDeleted() const {
    const Impl& t = *impl_;
    if (t.state != Impl::State::Browse)
        return t.buffer[0] == dbf::kDeleted;
    return t.open && t.current != Impl::kNone && !t.liveAt(static_cast<std::uint32_t>(t.current));
}

void Table::append() {
    Impl& t = *impl_;
    t.requireWritable();
    t.postIfEditing();
    t.buffer = t.blankRecord();
    t.state = Impl::State::Append;
}

void Table::edit() {
    Impl& t = *impl_;
    t.requireWritable();
    if (t.state == Impl::State::Edit)
        return;
    t.postIfEditing();
    if (t.current == Impl::kNone)
        throw Error("No se puede editar la tabla " + t.tableText() + ": no hay registro actual");
    const char* rec = t.recordAt(static_cast<std::uint32_t>(t.current));
    t.buffer.assign(rec, t.recordLength);
    t.state = Impl::State::Edit;
}

void Table::post() {
    Impl& t = *impl_;
    t.requireOpen();
    t.post();
}

void Table::cancel() {
    Impl& t = *impl_;
    t.state = Impl::State::Browse;
    t.buffer.clear();
}

void Table::deleteRecord() {
    Impl& t = *impl_;
    t.requireWritable();
    if (t.state == Impl::State::Append) {
        cancel(); // the record was never stored
        return;
    }
    cancel();
    if (t.current == Impl::kNone)
        throw Error("No se puede borrar en la tabla " + t.tableText() + ": no hay registro actual");
    const std::uint32_t pos = static_cast<std::uint32_t>(t.current);
    char* rec = t.recordAt(pos);
    if (rec[0] == dbf::kDeleted)
        return;
    t.indexes.erase(t.indexes.keysOf(rec, pos + 1), pos);
    rec[0] = dbf::kDeleted;
    t.dirty = true;
}

void Table::pack() {
    Impl& t = *impl_;
    t.requireWritable();
    t.postIfEditing();
    std::size_t kept = 0;
    for (std::uint32_t i = 0; i < t.count; ++i) {
        if (!t.liveAt(i))
            continue;
        if (kept != i)
            std::memmove(t.recordAt(static_cast<std::uint32_t>(kept)), t.recordAt(i),
                         t.recordLength);
        ++kept;
    }
    if (kept != t.count) {
        t.count = static_cast<std::uint32_t>(kept);
        t.data.resize(t.base + kept * t.recordLength);
        t.indexes.clear(); // positions have moved; rebuilt on the next lookup
        t.dirty = true;
    }
    t.current = t.nextLive(0);
    if (t.dirty)
        t.save("No se puede compactar la tabla " + t.fileText());
}

std::string Table::text(std::string_view field) const {
    const Impl& t = *impl_;
    const Column& c = t.column(field);
    return t.textOf(c, t.view(), t.recNoOfView());
}

std::int32_t Table::integer(std::string_view field) const {
    const Impl& t = *impl_;
    const Column& c = t.column(field);
    if (c.kind == codec::Kind::Text) {
        const std::string v = t.trimmedText(c);
        return v.empty() ? 0 : text::strToInt(v);
    }
    const auto v = t.numberOfView(c);
    if (!v)
        return 0;
    const double r = std::round(*v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        t.fieldError(c, "tiene un valor (" + codec::shortestDecimal(*v) +
                            ") que no cabe en un entero");
    return static_cast<std::int32_t>(r);
}

double Table::number(std::string_view field) const {
    const Impl& t = *impl_;
    const Column& c = t.column(field);
    if (c.kind == codec::Kind::Text) {
        const std::string v = t.trimmedText(c);
        if (v.empty())
            return 0;
        if (auto d = codec::parseDecimal(v))
            return *d;
        throw Error("'" + text::toUtf8(v) + "' no es un valor numérico válido");
    }
    return t.numberOfView(c).value_or(0.0);
}

bool Table::logical(std::string_view field) const {
    const Impl& t = *impl_;
    const Column& c = t.column(field);
    const char* rec = t.view();
    if (rec == nullptr)
        return false;
    if (c.kind == codec::Kind::Logical)
        return codec::logicalOf(t.raw(c, rec)[0]) == 1;
    if (c.kind == codec::Kind::Text) {
        const std::string v = t.trimmedText(c);
        if (v.empty())
            return false;
        const int b = codec::logicalOf(v[0]);
        if (b < 0)
            throw Error("'" + text::toUtf8(v) + "' no es un valor lógico válido");
        return b == 1;
    }
    t.fieldError(c, "no es lógico");
}

bool Table::isBlank(std::string_view field) const {
    const Impl& t = *impl_;
    const Column& c = t.column(field);
    return t.blank(c, t.view());
}

void Table::setText(std::string_view field, std::string_view cp1252) {
    Impl& t = *impl_;
    const Column& c = t.column(field);
    t.requireEditing(c);
    char* p = t.slot(c);
    const std::size_t width = static_cast<std::size_t>(c.info.length);
    switch (c.kind) {
    case codec::Kind::Text:
        t.storeText(c, cp1252);
        return;
    case codec::Kind::Logical: {
        const std::string_view v = codec::trimBlanks(cp1252);
        const int b = v.empty() ? -1 : codec::logicalOf(v[0]);
        if (!v.empty() && b < 0)
            throw Error("'" + text::toUtf8(v) + "' no es un valor lógico válido");
        *p = b < 0 ? ' ' : (b ? 'T' : 'F');
        return;
    }
    case codec::Kind::Date: {
        const std::string_view v = codec::trimBlanks(cp1252);
        if (!v.empty() &&
            (v.size() != 8 || v.find_first_not_of("0123456789") != std::string_view::npos))
            throw Error("'" + text::toUtf8(v) + "' no es una fecha AAAAMMDD válida");
        std::memset(p, ' ', width);
        std::memcpy(p, v.data(), v.size());
        return;
    }
    case codec::Kind::Ascii:
    case codec::Kind::Int7:
    case codec::Kind::Double7: {
        const std::string_view v = codec::trimBlanks(cp1252);
        if (v.empty()) {
            std::memset(p, c.kind == codec::Kind::Ascii ? ' ' : 0, width);
            return;
        }
        const auto d = codec::parseDecimal(v);
        if (!d)
            throw Error("'" + text::toUtf8(v) + "' no es un valor numérico válido");
        t.storeNumber(c, *d);
        return;
    }
    default:
        t.fieldError(c, "no se puede escribir");
    }
}

void Table::setInteger(std::string_view field, std::int32_t value) {
    Impl& t = *impl_;
    const Column& c = t.column(field);
    t.requireEditing(c);
    if (c.kind == codec::Kind::Text) {
        t.storeText(c, std::to_string(value));
        return;
    }
    if (c.kind == codec::Kind::Int7 && value == std::numeric_limits<std::int32_t>::min())
        t.fieldError(c, "no admite el valor " + std::to_string(value));
    t.storeNumber(c, static_cast<double>(value));
}

void Table::setNumber(std::string_view field, double value) {
    Impl& t = *impl_;
    const Column& c = t.column(field);
    t.requireEditing(c);
    if (c.kind == codec::Kind::Text) {
        t.storeText(c, codec::shortestDecimal(value));
        return;
    }
    t.storeNumber(c, value);
}

void Table::setLogical(std::string_view field, bool value) {
    Impl& t = *impl_;
    const Column& c = t.column(field);
    t.requireEditing(c);
    if (c.kind == codec::Kind::Logical) {
        *t.slot(c) = value ? 'T' : 'F';
        return;
    }
    if (c.kind == codec::Kind::Text) {
        t.storeText(c, value ? "T" : "F");
        return;
    }
    t.fieldError(c, "no es lógico");
}

bool Table::locate(const std::vector<std::pair<std::string, std::string>>& criteria) {
    Impl& t = *impl_;
    t.requireOpen();
    std::vector<std::pair<std::size_t, std::string_view>> wanted;
    wanted.reserve(criteria.size());
    for (const auto& [field, value] : criteria)
        wanted.emplace_back(t.columnIndex(field), value);
    t.postIfEditing();
    std::stable_sort(wanted.begin(), wanted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::size_t> cols;
    std::vector<std::string_view> values;
    for (const auto& [ci, value] : wanted) {
        if (!cols.empty() && cols.back() == ci) {
            if (values.back() != value)
                return false; // one field cannot hold two values
            continue;
        }
        cols.push_back(ci);
        values.push_back(value);
    }
    if (cols.empty()) {
        const std::int64_t found = t.nextLive(0);
        if (found == Impl::kNone)
            return false;
        t.current = found;
        return true;
    }
    const std::optional<std::uint32_t> found =
        t.indexes.first(cols, values, t.count, [&](std::uint32_t i) { return t.recordAt(i); });
    if (!found)
        return false;
    t.current = *found;
    return true;
}

bool Table::locate(std::initializer_list<std::pair<std::string_view, std::string_view>> criteria) {
    std::vector<std::pair<std::string, std::string>> copy;
    copy.reserve(criteria.size());
    for (const auto& [field, value] : criteria)
        copy.emplace_back(std::string(field), std::string(value));
    return locate(copy);
}

} // namespace pelmira::worktables
