// The centre document's elements and lists, and the document as a whole: selecting sections by
// path, reading and setting attribute values, building a new root. Loading is in load.cpp, the
// compact attribute store in attribute_store.cpp, saving in save.cpp and element_writer.cpp.

#include "itaca/document.h"

#include "itaca/attribute_store.h"
#include "itaca/xml.h"
#include "text/text.h"

namespace pelmira::itaca {

namespace {

// XML 1.0 has no place for the control characters other than tab, line feed and carriage
// return, not even as character references; such a byte would make the saved file unreadable.
std::string xmlSafeUtf8(std::string_view cp1252) {
    std::string utf8 = text::toUtf8(cp1252);
    for (char& c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r')
            c = '?';
    }
    return utf8;
}

std::vector<std::string> splitPath(std::string_view path) {
    const auto invalid = [&] {
        return Error("Ruta de sección no válida: '" + std::string(path) + "'");
    };
    if (path.empty() || path.front() != '/')
        throw invalid();
    std::vector<std::string> steps;
    std::string_view rest = path.substr(1);
    while (true) {
        const std::size_t slash = rest.find('/');
        const std::string_view step = rest.substr(0, slash);
        if (step.empty())
            throw invalid();
        steps.emplace_back(step);
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return steps;
}

void collect(xmlNodePtr parent, const std::vector<std::string>& steps, std::size_t depth,
             std::vector<xmlNodePtr>& out) {
    for (xmlNodePtr child = parent->children; child != nullptr; child = child->next) {
        if (!isElement(child, steps[depth]))
            continue;
        if (depth + 1 == steps.size())
            out.push_back(child);
        else
            collect(child, steps, depth + 1, out);
    }
}

} // namespace

// --- Element ----------------------------------------------------------------------------------

Element::Element(_xmlNode* node, std::size_t position, std::string section)
    : node_(node), position_(position), section_(std::move(section)) {}

std::string Element::name() const {
    if (node_ == nullptr)
        return {};
    if (node_->ns != nullptr && node_->ns->prefix != nullptr)
        return std::string(chars(node_->ns->prefix)) + ":" + chars(node_->name);
    return chars(node_->name);
}

bool Element::hasAttr(std::string_view name) const {
    return lookupAttr(node_, name, nullptr);
}

std::string Element::attr(std::string_view name, std::size_t cut) const {
    std::string value;
    if (!lookupAttr(node_, name, &value)) {
        std::string where = "el elemento " + nameOrUnknown();
        if (!section_.empty())
            where += " " + std::to_string(positionInSection()) + " de " + section_;
        throw Error("Falta el atributo '" + std::string(name) + "' en " + where);
    }
    std::string_view v = text::trim(value);
    if (cut != std::string::npos)
        v = text::cutUtf8(v, cut);
    return text::toCp1252(v);
}

std::string Element::nameOrUnknown() const {
    std::string n = name();
    return n.empty() ? std::string("?") : n;
}

std::size_t Element::positionInSection() const {
    // The element's place among its namesakes within its own section element, so that the user
    // finds it also when the section occurs twice.
    std::size_t pos = 1;
    for (const xmlNode* prev = node_->prev; prev != nullptr; prev = prev->prev)
        if (prev->type == XML_ELEMENT_NODE && prev->ns == node_->ns &&
            xmlStrEqual(prev->name, node_->name))
            ++pos;
    return pos;
}

Element Element::appendChild(std::string_view name) {
    if (node_ == nullptr)
        throw Error("No se puede añadir el elemento " + std::string(name) +
                    ": no hay elemento padre");
    std::string buffer;
    xmlNodePtr child = xmlNewDocNode(node_->doc, nullptr, xml(name, buffer), nullptr);
    if (child == nullptr)
        throw Error("No se puede crear el elemento " + std::string(name));
    if (xmlAddChild(node_, child) == nullptr) {
        xmlFreeNode(child);
        throw Error("No se puede añadir el elemento " + std::string(name));
    }
    std::string path =
        section_.empty() && node_->parent != nullptr && node_->parent->type == XML_DOCUMENT_NODE
            ? "/" + nameOrUnknown()
            : section_ + "/" + nameOrUnknown();
    return Element(child, 0, std::move(path));
}

void Element::setAttribute(std::string_view name, std::string_view cp1252) {
    if (node_ == nullptr)
        throw Error("No se puede poner el atributo '" + std::string(name) + "': no hay elemento");
    materialise(node_);
    std::string nameBuffer;
    std::string valueBuffer;
    const std::string utf8 = xmlSafeUtf8(cp1252);
    if (xmlSetNsProp(node_, nullptr, xml(name, nameBuffer), xml(utf8, valueBuffer)) == nullptr)
        throw Error("No se puede poner el atributo '" + std::string(name) + "' en el elemento " +
                    nameOrUnknown());
}

// --- ElementList ------------------------------------------------------------------------------

Element ElementList::item(std::size_t index) const {
    if (index >= nodes_.size())
        throw Error("Elemento " + std::to_string(index + 1) + " inexistente en " + path_);
    const std::size_t slash = path_.rfind('/');
    return Element(nodes_[index], index + 1, path_.substr(0, slash));
}

// --- ItacaDocument ----------------------------------------------------------------------------

ItacaDocument::ItacaDocument(_xmlDoc* doc, std::unique_ptr<AttributeStore> store,
                             std::filesystem::path file)
    : doc_(doc), store_(std::move(store)), file_(std::move(file)) {}

ItacaDocument::~ItacaDocument() {
    if (doc_ != nullptr)
        xmlFreeDoc(doc_);
}

ElementList ItacaDocument::select(std::string_view absolutePath) const {
    const std::vector<std::string> steps = splitPath(absolutePath);
    std::vector<xmlNodePtr> nodes;
    // The document node's element children are its root; a path's first step matches the root.
    if (doc_ != nullptr)
        collect(reinterpret_cast<xmlNodePtr>(doc_), steps, 0, nodes);
    return ElementList(std::move(nodes), std::string(absolutePath));
}

std::string ItacaDocument::declaredEncoding() const {
    return doc_ != nullptr && doc_->encoding != nullptr ? chars(doc_->encoding) : "";
}

Element ItacaDocument::replaceRoot(std::string_view name) {
    std::string buffer;
    xmlNodePtr fresh = xmlNewDocNode(doc_, nullptr, xml(name, buffer), nullptr);
    if (fresh == nullptr)
        throw Error("No se puede crear el elemento " + std::string(name));
    if (xmlNodePtr old = xmlDocGetRootElement(doc_); old != nullptr) {
        xmlUnlinkNode(old);
        xmlFreeNode(old);
    }
    xmlAddChild(reinterpret_cast<xmlNodePtr>(doc_), fresh);
    return Element(fresh, 1, "");
}

} // namespace pelmira::itaca
