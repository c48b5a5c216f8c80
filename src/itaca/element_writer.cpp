// The streaming writer (ElementWriter): start tags, attribute values escaped for XML in UTF-8,
// end tags and indentation, gathered and handed to libxml2's output in large pieces.

#include "itaca/element_writer.h"

#include "text/error.h"
#include "text/text.h"

#include <libxml/xmlIO.h>
#include <utility>

namespace pelmira::itaca {

namespace {

// How each cp1252 byte goes into an attribute value in UTF-8: markup characters as references,
// tab and line breaks as character references (a reader would turn them into spaces), the
// other control characters, which XML 1.0 cannot carry at all, as '?'.
struct AttributeEscapes {
    std::string byByte[256];
    bool plain[256];
    AttributeEscapes() {
        static constexpr std::pair<char, const char*> kReferences[] = {
            {'&', "&amp;"}, {'<', "&lt;"},   {'>', "&gt;"},   {'"', "&quot;"},
            {'\t', "&#9;"}, {'\n', "&#10;"}, {'\r', "&#13;"},
        };
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            std::string& e = byByte[b];
            if (b >= 0x80)
                e = text::toUtf8(std::string_view(&c, 1));
            else if (b < 0x20)
                e = "?";
            else
                e = std::string(1, c);
            for (const auto& [character, reference] : kReferences)
                if (c == character)
                    e = reference;
            plain[b] = e.size() == 1 && e[0] == c;
        }
    }
};

const AttributeEscapes& attributeEscapes() {
    static const AttributeEscapes escapes;
    return escapes;
}

void appendEscapedCp1252(std::string& out, std::string_view cp1252) {
    const AttributeEscapes& esc = attributeEscapes();
    for (const char c : cp1252) {
        const auto b = static_cast<unsigned char>(c);
        if (esc.plain[b])
            out.push_back(c);
        else
            out += esc.byByte[b];
    }
}

// The same for a value that already is UTF-8 (taken from the tree).
void appendEscapedUtf8(std::string& out, std::string_view utf8) {
    const AttributeEscapes& esc = attributeEscapes();
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 || esc.plain[b])
            out.push_back(c);
        else
            out += esc.byByte[b];
    }
}

} // namespace

ElementWriter::ElementWriter(_xmlOutputBuffer* out) : out_(out) {
    pending_.reserve(kFlushSize + 4096);
}

void ElementWriter::startElement(std::string_view name) {
    closeStartTag();
    indent(open_.size());
    pending_ += '<';
    pending_ += name;
    open_.emplace_back(name);
    startTagOpen_ = true;
}

void ElementWriter::attribute(std::string_view name, std::string_view cp1252) {
    if (!startTagOpen_)
        throw Error("No se puede poner el atributo '" + std::string(name) +
                    "': no hay elemento abierto");
    pending_ += ' ';
    pending_ += name;
    pending_ += "=\"";
    appendEscapedCp1252(pending_, cp1252);
    pending_ += '"';
}

void ElementWriter::attributeUtf8(std::string_view name, std::string_view utf8) {
    pending_ += ' ';
    pending_ += name;
    pending_ += "=\"";
    appendEscapedUtf8(pending_, utf8);
    pending_ += '"';
}

void ElementWriter::endElement() {
    if (open_.size() <= floor_)
        throw Error("No hay elemento abierto que cerrar");
    if (startTagOpen_) {
        pending_ += "/>\n";
        startTagOpen_ = false;
    } else {
        indent(open_.size() - 1);
        pending_ += "</";
        pending_ += open_.back();
        pending_ += ">\n";
    }
    open_.pop_back();
    flushIfFull();
}

void ElementWriter::closeAll() {
    floor_ = 0;
    while (!open_.empty())
        endElement();
    flush();
}

void ElementWriter::closeStartTag() {
    if (startTagOpen_) {
        pending_ += ">\n";
        startTagOpen_ = false;
    }
}

void ElementWriter::indent(std::size_t depth) {
    pending_.append(2 * depth, ' ');
}

void ElementWriter::flushIfFull() {
    if (pending_.size() >= kFlushSize)
        flush();
}

void ElementWriter::flush() {
    if (!pending_.empty())
        xmlOutputBufferWrite(out_, static_cast<int>(pending_.size()), pending_.data());
    pending_.clear();
}

} // namespace pelmira::itaca
