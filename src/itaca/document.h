#pragma once

// The centre document: an ITACA XML file whose root element is `centro`. Read through libxml2
// with the network and external entities switched off; every value used is an attribute of an
// element in a section (/centro/<section>/<element>).

#include "itaca/element_writer.h"
#include "text/error.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct _xmlDoc;
struct _xmlNode;

namespace pelmira::itaca {

class AttributeStore;

// A file that could not be loaded as a centre document: unreadable, not well-formed XML, or a
// root element other than `centro`. A reference to an undeclared entity or namespace prefix
// counts as a parse error: the values it stands for cannot be read. The message names the file
// and, for parse errors, the parser's message and line.
class LoadError : public Error {
public:
    using Error::Error;
};

class Element {
public:
    Element() = default;
    Element(_xmlNode* node, std::size_t position, std::string section);

    // The attribute's value: trimmed of characters up to code 32 at both ends, cut to its first
    // `cut` characters (counted on the trimmed text, before conversion), converted to cp1252.
    // A missing attribute throws an Error naming the element, its position among its namesakes
    // in its own section element (1-based) and the attribute, e.g. "Falta el atributo 'codigo' en
    // el elemento docente 3 de /centro/docentes".
    std::string attr(std::string_view name, std::size_t cut = std::string::npos) const;
    bool hasAttr(std::string_view name) const;

    std::string name() const;
    std::size_t position() const { return position_; } // 1-based within its selection

    // Building (result document): append a child element in no namespace, set an attribute
    // from a cp1252 value (attributes keep the order in which they are first set).
    Element appendChild(std::string_view name);
    void setAttribute(std::string_view name, std::string_view cp1252);

    _xmlNode* node() const { return node_; }

private:
    std::string nameOrUnknown() const;
    std::size_t positionInSection() const;

    _xmlNode* node_ = nullptr;
    std::size_t position_ = 0;
    std::string section_;
};

// The elements that ItacaDocument::select() found for a path.
class ElementList {
public:
    ElementList() = default;
    ElementList(std::vector<_xmlNode*> nodes, std::string path)
        : nodes_(std::move(nodes)), path_(std::move(path)) {}

    std::size_t count() const { return nodes_.size(); }
    Element item(std::size_t index) const; // 0-based, index < count()

private:
    std::vector<_xmlNode*> nodes_;
    std::string path_;
};

class ItacaDocument {
public:
    // Loads a file. Throws LoadError as described above. Any encoding libxml2 knows is read, and
    // Windows-1252 also where libxml2 has no converter for it; the declared encoding is kept for
    // save().
    static std::shared_ptr<ItacaDocument> load(const std::filesystem::path& file);

    ItacaDocument(const ItacaDocument&) = delete;
    ItacaDocument& operator=(const ItacaDocument&) = delete;
    ~ItacaDocument();

    const std::filesystem::path& file() const { return file_; }

    // Every element matching an absolute path such as /centro/aulas/aula: each `aula` child of
    // each `aulas` child of the root `centro`, in document order. Empty when nothing matches.
    ElementList select(std::string_view absolutePath) const;

    // The encoding named by the XML declaration, empty when the file has none.
    std::string declaredEncoding() const;

    // Removes the root element and appends a new, empty root element of that name as the
    // document's last child. Elements and lists taken from the old root are invalid afterwards.
    // Other top-level nodes (declaration, comments, processing instructions) stay where they are.
    Element replaceRoot(std::string_view name);

    // Writes the document to `file` in the declared encoding (UTF-8 with a declaration when the
    // input had none). The file is written beside its destination under a temporary name and
    // renamed over it only when complete; on any failure the previous file is untouched, no
    // temporary file remains, and an Error names the file. A destination that is a symbolic
    // link is replaced as a link, never written through.
    void save(const std::filesystem::path& file) const;

    // The same, with `rootContent` writing the root element's content after the children the
    // root holds in the tree: the root's start tag and attributes, the other top-level nodes and
    // the declaration come from the document. Should `rootContent` throw, nothing is saved and
    // the exception goes on.
    void save(const std::filesystem::path& file,
              const std::function<void(ElementWriter&)>& rootContent) const;

private:
    ItacaDocument(_xmlDoc* doc, std::unique_ptr<AttributeStore> store, std::filesystem::path file);
    _xmlDoc* doc_ = nullptr;
    std::unique_ptr<AttributeStore> store_; // outlives doc_, whose elements point into it
    std::filesystem::path file_;
};

} // namespace pelmira::itaca
