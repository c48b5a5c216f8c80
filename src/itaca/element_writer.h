#pragma once

// The streaming writer of the centre document's save: elements written straight into the file
// that ItacaDocument::save(file, content) is writing.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct _xmlOutputBuffer;

namespace pelmira::itaca {

// Writes elements straight into the file that ItacaDocument::save(file, content) is writing,
// for content far larger than it would be sensible to build as a tree first. An element started
// gets its attributes, in the order given, until a child is started or it is ended; an element
// without children is written as an empty element; elements the content leaves open are closed
// after it. The output is indented like save()'s.
class ElementWriter {
public:
    ElementWriter(const ElementWriter&) = delete;
    ElementWriter& operator=(const ElementWriter&) = delete;

    void startElement(std::string_view name);
    // A cp1252 value, escaped and converted as Element::setAttribute converts it. Only right
    // after startElement() or another attribute().
    void attribute(std::string_view name, std::string_view cp1252);
    void endElement();

protected:
    // What the save builds on: the writer over libxml2's output (and its encoder), the document's
    // own root start tag and children written around the content.
    explicit ElementWriter(_xmlOutputBuffer* out);
    ~ElementWriter() = default;

    _xmlOutputBuffer* output() const { return out_; }
    // An attribute whose value is UTF-8 already (taken from the tree), of any qualified name.
    void attributeUtf8(std::string_view name, std::string_view utf8);
    // Ends the open start tag, if any, with ">".
    void closeStartTag();
    void indent(std::size_t depth);
    // Hands what is pending to the output.
    void flush();
    // The number of open elements that endElement() may not close (the root while the content
    // is written).
    void setFloor(std::size_t floor) { floor_ = floor; }
    // Ends every open element, then flushes.
    void closeAll();

private:
    void flushIfFull();

    static constexpr std::size_t kFlushSize = 64 * 1024;
    _xmlOutputBuffer* out_;
    std::string pending_; // UTF-8, handed to the output (and its encoder) in large pieces
    std::vector<std::string> open_;
    std::size_t floor_ = 0;
    bool startTagOpen_ = false;
};

} // namespace pelmira::itaca
