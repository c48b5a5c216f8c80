// Any bytes as a table, parsed in memory: the header either parses or throws pelmira::Error, every
// field of every record reads without crashing, and a number written to a field the engine writes
// reads back as the value it stands for.

#include "text/error.h"
#include "worktables/field_codec.h"
#include "worktables/table_header.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace codec = pelmira::worktables::codec;

namespace {

// The value written to a field, as the engine stores it: rounded for I, to the decimals for N.
void checkRoundTrip(const codec::Column& c, double value) {
    std::string field(static_cast<std::size_t>(c.info.length), '\0');
    if (codec::writeNumber(c, value, field.data()) != codec::WriteResult::Done)
        return;
    const codec::Number back = codec::readNumber(c, field);
    if (back.state != codec::Number::State::Value && !(value == 0 && c.kind == codec::Kind::Ascii))
        std::abort();
    const double expected = c.kind == codec::Kind::Int7 ? std::round(value) : value;
    const double tolerance = c.kind == codec::Kind::Ascii ? std::pow(10.0, -c.info.decimals) : 0;
    if (back.state == codec::Number::State::Value &&
        !(std::fabs(back.value - expected) <= tolerance))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<unsigned char> bytes(data, data + size);
    try {
        const pelmira::worktables::TableHeader h = pelmira::worktables::parseHeader(bytes, "T");
        const std::size_t records = std::min<std::size_t>(h.recordCount, 64);
        for (std::size_t r = 0; r < records; ++r) {
            const char* record =
                reinterpret_cast<const char*>(bytes.data() + h.bytes.size() + r * h.recordLength);
            for (const codec::Column& c : h.columns) {
                const std::string_view field(record + 1 + c.info.offset,
                                             static_cast<std::size_t>(c.info.length));
                (void)codec::readText(c, field, h.codePage);
                const codec::Number n = codec::readNumber(c, field);
                if (n.state == codec::Number::State::Value && h.readOnlyReason.empty() &&
                    codec::isNumeric(c.kind))
                    checkRoundTrip(c, n.value);
            }
        }
    } catch (const pelmira::Error&) {
    }
    return 0;
}
