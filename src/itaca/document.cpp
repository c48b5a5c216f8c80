#include "itaca/document.h"

#include "text/text.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xmlstring.h>
#include <mutex>
#include <random>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace pelmira::itaca {

namespace fs = std::filesystem;

namespace {

const xmlChar* xml(std::string_view s, std::string& buffer) {
    buffer.assign(s);
    return reinterpret_cast<const xmlChar*>(buffer.c_str());
}

const char* chars(const xmlChar* s) {
    return reinterpret_cast<const char*>(s);
}

std::string displayName(const fs::path& file) {
    const std::u8string s = file.u8string();
    return std::string(s.begin(), s.end());
}

std::FILE* openFile(const fs::path& file, const char* mode) {
#ifdef _WIN32
    const std::wstring wmode(mode, mode + std::strlen(mode));
    return _wfopen(file.c_str(), wmode.c_str());
#else
    return std::fopen(file.c_str(), mode);
#endif
}

// The reason of a failed file operation, in Spanish for the common cases.
std::string reason(int err) {
    switch (err) {
    case 0:
        return "error desconocido";
    case ENOENT:
        return "no existe el archivo o la carpeta";
    case EACCES:
    case EPERM:
        return "permiso denegado";
    case ENOTDIR:
        return "una parte de la ruta no es una carpeta";
    case EISDIR:
        return "es una carpeta";
    case ENOSPC:
        return "no queda espacio en el disco";
    case EROFS:
        return "el sistema de archivos es de solo lectura";
    case ENAMETOOLONG:
        return "el nombre es demasiado largo";
    case EBUSY:
    case ETXTBSY:
        return "el archivo está en uso";
    case EIO:
        return "error de entrada/salida";
    default:
        return std::strerror(err);
    }
}

// Nothing outside the document itself is ever read: no DTD, no external entity, whatever the
// document asks for and whatever options some other code may set.
xmlParserInputPtr refuseExternalEntity(const char* /*url*/, const char* /*id*/,
                                       xmlParserCtxtPtr ctxt) {
    if (ctxt != nullptr)
        ctxt->errNo = XML_IO_NETWORK_ATTEMPT;
    return nullptr;
}

void installEntityLoader() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternalEntity);
    });
}

// Reading the file: the parser pulls from an open stream, so that an I/O error is told apart
// from a parse error.
struct Source {
    std::FILE* file = nullptr;
    int readErrno = 0;
};

int readSource(void* context, char* buffer, int len) {
    auto* src = static_cast<Source*>(context);
    const std::size_t n = std::fread(buffer, 1, static_cast<std::size_t>(len), src->file);
    if (n == 0 && std::ferror(src->file)) {
        src->readErrno = errno != 0 ? errno : EIO;
        return -1;
    }
    return static_cast<int>(n);
}

int closeSource(void* /*context*/) {
    return 0;
}

// The first error the parser reports, kept instead of being printed.
struct ParseErrors {
    std::string message;
    int line = 0;
    bool seen = false;
    AttributeStore* store = nullptr; // where the section elements' attributes go
};

void collectError(void* userData, xmlErrorPtr error) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(userData);
    if (ctxt == nullptr || ctxt->_private == nullptr || error == nullptr)
        return;
    auto* errors = static_cast<ParseErrors*>(ctxt->_private);
    if (errors->seen || error->level < XML_ERR_ERROR)
        return;
    errors->seen = true;
    errors->message = error->message != nullptr ? error->message : "";
    while (!errors->message.empty() &&
           (errors->message.back() == '\n' || errors->message.back() == ' '))
        errors->message.pop_back();
    errors->line = error->line;
}

struct ParserCtxtFree {
    void operator()(xmlParserCtxtPtr ctxt) const { xmlFreeParserCtxt(ctxt); }
};

struct DocFree {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};

} // namespace

// The attributes of the elements inside the sections, which are nearly all of a centre document,
// are kept in large blocks of their own instead of as libxml2 attribute nodes (an attribute node
// and a text node each, some 250 bytes, for a value of a few characters). The element's
// `_private` points at its block: the count, then for each attribute the lengths of its name and
// value followed by both, in document order. Only values that are plain text go there; an
// element with an entity reference in a value, a prefixed attribute, or attributes defaulted by
// the DTD keeps ordinary attribute nodes, and so do the root and the section elements. Before the
// tree is written or an element changed, the block is turned back into attribute nodes.
class AttributeStore {
public:
    char* allocate(std::size_t n) {
        if (n > kChunk / 4) {
            big_.emplace_back(new char[n]);
            return big_.back().get();
        }
        if (chunks_.empty() || used_ + n > kChunk) {
            chunks_.emplace_back(new char[kChunk]);
            used_ = 0;
        }
        char* p = chunks_.back().get() + used_;
        used_ += n;
        return p;
    }

private:
    static constexpr std::size_t kChunk = 1 << 20;
    std::vector<std::unique_ptr<char[]>> chunks_;
    std::vector<std::unique_ptr<char[]>> big_;
    std::size_t used_ = 0;
};

namespace {

struct CompactAttr {
    std::string_view name;
    std::string_view value;
};

// Walks an element's block.
class CompactAttrs {
public:
    explicit CompactAttrs(const void* block) : p_(static_cast<const char*>(block)) {
        if (p_ != nullptr) {
            std::memcpy(&left_, p_, sizeof left_);
            p_ += sizeof left_;
        }
    }
    bool next(CompactAttr& a) {
        if (left_ == 0)
            return false;
        --left_;
        std::uint32_t nameLen = 0;
        std::uint32_t valueLen = 0;
        std::memcpy(&nameLen, p_, 4);
        std::memcpy(&valueLen, p_ + 4, 4);
        p_ += 8;
        a.name = std::string_view(p_, nameLen);
        a.value = std::string_view(p_ + nameLen, valueLen);
        p_ += nameLen + valueLen;
        return true;
    }

private:
    const char* p_;
    std::uint32_t left_ = 0;
};

bool isCompact(const xmlNode* node) {
    return node != nullptr && node->type == XML_ELEMENT_NODE && node->_private != nullptr;
}

// The element's block becomes ordinary attribute nodes again, in the same order.
void materialise(xmlNodePtr node) {
    if (!isCompact(node))
        return;
    CompactAttrs attrs(node->_private);
    node->_private = nullptr;
    std::string name;
    std::string value;
    for (CompactAttr a; attrs.next(a);) {
        name.assign(a.name);
        value.assign(a.value);
        if (xmlNewNsProp(node, nullptr, reinterpret_cast<const xmlChar*>(name.c_str()),
                         reinterpret_cast<const xmlChar*>(value.c_str())) == nullptr)
            throw Error("Falta memoria para el atributo '" + name + "'");
    }
}

void materialiseAll(xmlNodePtr node) {
    for (; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        materialise(node);
        materialiseAll(node->children);
    }
}

// The parser's start of an element: the tree gets the element, the store its attributes.
void startElementCompact(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                         const xmlChar* uri, int nbNamespaces, const xmlChar** namespaces,
                         int nbAttributes, int nbDefaulted, const xmlChar** attributes) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    auto* state = static_cast<ParseErrors*>(ctxt->_private);
    bool compact = state != nullptr && state->store != nullptr && ctxt->nodeNr >= 2 &&
                   nbAttributes > 0 && nbDefaulted == 0 && nbAttributes < 0x10000;
    std::size_t size = sizeof(std::uint32_t);
    for (int i = 0; compact && i < nbAttributes; ++i) {
        const xmlChar* const* a = attributes + 5 * i;
        const auto* value = reinterpret_cast<const char*>(a[3]);
        const auto valueLen = static_cast<std::size_t>(a[4] - a[3]);
        if (a[1] != nullptr || std::memchr(value, '&', valueLen) != nullptr)
            compact = false;
        size += 8 + std::strlen(chars(a[0])) + valueLen;
    }
    if (!compact) {
        xmlSAX2StartElementNs(ctx, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes,
                              nbDefaulted, attributes);
        return;
    }
    const int depth = ctxt->nodeNr;
    xmlSAX2StartElementNs(ctx, localname, prefix, uri, nbNamespaces, namespaces, 0, 0, nullptr);
    xmlNodePtr node = ctxt->node;
    if (ctxt->nodeNr != depth + 1 || node == nullptr || node->type != XML_ELEMENT_NODE)
        return; // the element was not made (out of memory): the parser stops on its own
    char* block = state->store->allocate(size);
    char* p = block;
    const auto count = static_cast<std::uint32_t>(nbAttributes);
    std::memcpy(p, &count, 4);
    p += 4;
    for (int i = 0; i < nbAttributes; ++i) {
        const xmlChar* const* a = attributes + 5 * i;
        const auto nameLen = static_cast<std::uint32_t>(std::strlen(chars(a[0])));
        const auto valueLen = static_cast<std::uint32_t>(a[4] - a[3]);
        std::memcpy(p, &nameLen, 4);
        std::memcpy(p + 4, &valueLen, 4);
        p += 8;
        std::memcpy(p, a[0], nameLen);
        p += nameLen;
        std::memcpy(p, a[3], valueLen);
        p += valueLen;
    }
    node->_private = block;
}

} // namespace

namespace {

// An element of that name in no namespace or in the default one (no prefix).
bool isElement(const xmlNode* node, const std::string& name) {
    return node->type == XML_ELEMENT_NODE && (node->ns == nullptr || node->ns->prefix == nullptr) &&
           std::strcmp(chars(node->name), name.c_str()) == 0;
}

// The attribute of that exact name in no namespace, or null.
xmlAttrPtr findAttr(const xmlNode* node, std::string_view name) {
    if (node == nullptr || node->type != XML_ELEMENT_NODE)
        return nullptr;
    for (xmlAttrPtr a = node->properties; a != nullptr; a = a->next) {
        if (a->ns != nullptr && a->ns->prefix != nullptr)
            continue;
        const char* n = chars(a->name);
        if (std::strlen(n) == name.size() && name.compare(0, name.size(), n) == 0)
            return a;
    }
    return nullptr;
}

// The attribute's text, character and entity references resolved (UTF-8).
std::string attrValue(const xmlNode* node, xmlAttrPtr attr) {
    const xmlNode* child = attr->children;
    if (child == nullptr)
        return {};
    if (child->next == nullptr && child->type == XML_TEXT_NODE)
        return child->content != nullptr ? chars(child->content) : "";
    xmlChar* value = xmlNodeListGetString(node->doc, child, 1);
    std::string out = value != nullptr ? chars(value) : "";
    xmlFree(value);
    return out;
}

// The value (UTF-8) of the attribute of that exact name in no namespace, wherever it is kept;
// false when the element has none.
bool lookupAttr(const xmlNode* node, std::string_view name, std::string* value) {
    if (isCompact(node)) {
        CompactAttrs attrs(node->_private);
        for (CompactAttr a; attrs.next(a);)
            if (a.name == name) {
                if (value != nullptr)
                    value->assign(a.value);
                return true;
            }
        return false;
    }
    const xmlAttrPtr a = findAttr(node, name);
    if (a == nullptr)
        return false;
    if (value != nullptr)
        *value = attrValue(node, a);
    return true;
}

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

// Removes the temporary file of a save unless the save completed.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (file_ != nullptr)
            std::fclose(file_);
        if (!path_.empty()) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }

    // Creates a new file beside `destination`; false when none could be created.
    bool create(const fs::path& destination, int& err) {
        std::random_device random;
        const fs::path folder = destination.parent_path();
        for (int attempt = 0; attempt < 16; ++attempt) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
            fs::path candidate = folder / (u8"." + destination.filename().u8string() +
                                           std::u8string(suffix, suffix + std::strlen(suffix)));
            errno = 0;
            file_ = openFile(candidate, "wbx");
            if (file_ != nullptr) {
                path_ = std::move(candidate);
                return true;
            }
            err = errno;
            if (err != EEXIST)
                return false;
        }
        return false;
    }

    std::FILE* file() const { return file_; }
    const fs::path& path() const { return path_; }

    // Flushes the data to the disk and closes the file; false on failure.
    bool finish(int& err) {
        bool ok = std::fflush(file_) == 0;
        if (!ok)
            err = errno;
#ifndef _WIN32
        if (ok && fsync(fileno(file_)) != 0) {
            ok = false;
            err = errno;
        }
#endif
        const int closed = std::fclose(file_);
        file_ = nullptr;
        if (ok && closed != 0) {
            ok = false;
            err = errno;
        }
        return ok;
    }

    void release() {
        path_.clear();
    }

private:
    std::FILE* file_ = nullptr;
    fs::path path_;
};

struct Sink {
    std::FILE* file;
    int writeErrno = 0;
};

int writeSink(void* context, const char* buffer, int len) {
    auto* sink = static_cast<Sink*>(context);
    if (len <= 0)
        return 0;
    if (std::fwrite(buffer, 1, static_cast<std::size_t>(len), sink->file) !=
        static_cast<std::size_t>(len)) {
        sink->writeErrno = errno != 0 ? errno : EIO;
        return -1;
    }
    return len;
}

int closeSink(void* /*context*/) {
    return 0;
}

// Writes `file` through `write` under a temporary name beside it, then renames it over the
// destination; `write` gets the open sink and reports its failures through `fail`, which throws.
using FailFn = std::function<void(const std::string&)>;

void saveAtomically(const fs::path& file, const std::function<void(Sink&, const FailFn&)>& write) {
    const std::string name = displayName(file);
    const FailFn fail = [&](const std::string& why) {
        throw Error("No se puede guardar el archivo " + name + ": " + why);
    };

    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(file, ec)))
        fail("es una carpeta");

    TempFile temp;
    int err = 0;
    if (!temp.create(file, err))
        fail("no se puede crear el archivo temporal (" + reason(err) + ")");

    Sink sink{temp.file()};
    write(sink, fail);
    if (!temp.finish(err))
        fail(reason(err));

    // rename() replaces the destination itself: a symbolic link is replaced by the new file,
    // the file it pointed to stays as it was.
    fs::rename(temp.path(), file, ec);
    if (ec) {
        const std::error_condition condition = ec.default_error_condition();
        fail(condition.category() == std::generic_category() ? reason(condition.value())
                                                             : ec.message());
    }
    temp.release();
}

bool isUtf8(const std::string& encoding) {
    return xmlStrcasecmp(reinterpret_cast<const xmlChar*>(encoding.c_str()),
                         reinterpret_cast<const xmlChar*>("UTF-8")) == 0 ||
           xmlStrcasecmp(reinterpret_cast<const xmlChar*>(encoding.c_str()),
                         reinterpret_cast<const xmlChar*>("UTF8")) == 0;
}

// Closes an output buffer that an error left open; its bytes no longer matter.
struct OutputClose {
    xmlOutputBufferPtr out;
    ~OutputClose() {
        if (out != nullptr)
            xmlOutputBufferClose(out);
    }
};

// How each cp1252 byte goes into an attribute value in UTF-8: markup characters as references,
// tab and line breaks as character references (a reader would turn them into spaces), the
// other control characters, which XML 1.0 cannot carry at all, as '?'.
struct AttributeEscapes {
    std::string byByte[256];
    bool plain[256];
    AttributeEscapes() {
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            std::string& e = byByte[b];
            if (b >= 0x80)
                e = text::toUtf8(std::string_view(&c, 1));
            else if (c == '&')
                e = "&amp;";
            else if (c == '<')
                e = "&lt;";
            else if (c == '>')
                e = "&gt;";
            else if (c == '"')
                e = "&quot;";
            else if (c == '\t')
                e = "&#9;";
            else if (c == '\n')
                e = "&#10;";
            else if (c == '\r')
                e = "&#13;";
            else if (b < 0x20)
                e = "?";
            else
                e = std::string(1, c);
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

// The XML declaration as save() writes it.
void writeDeclaration(xmlOutputBufferPtr out, const xmlDoc* doc, const std::string& encoding) {
    std::string decl = "<?xml version=\"";
    decl += doc->version != nullptr ? chars(doc->version) : "1.0";
    decl += "\" encoding=\"";
    decl += encoding;
    decl += '"';
    if (doc->standalone == 0)
        decl += " standalone=\"no\"";
    else if (doc->standalone == 1)
        decl += " standalone=\"yes\"";
    decl += "?>\n";
    xmlOutputBufferWrite(out, static_cast<int>(decl.size()), decl.c_str());
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

ItacaDocument::ItacaDocument() = default;

ItacaDocument::~ItacaDocument() {
    if (doc_ != nullptr)
        xmlFreeDoc(doc_);
}

std::shared_ptr<ItacaDocument> ItacaDocument::load(const fs::path& file) {
    installEntityLoader();
    const std::string name = displayName(file);

    std::error_code ec;
    if (fs::is_directory(file, ec))
        throw LoadError("No se puede leer el archivo " + name + ": es una carpeta");

    Source src;
    errno = 0;
    src.file = openFile(file, "rb");
    if (src.file == nullptr) {
        const int err = errno;
        throw LoadError("No se puede leer el archivo " + name + ": " + reason(err));
    }
    struct FileClose {
        std::FILE* f;
        ~FileClose() { std::fclose(f); }
    } closer{src.file};

    std::unique_ptr<xmlParserCtxt, ParserCtxtFree> ctxt(xmlCreateIOParserCtxt(
        nullptr, nullptr, readSource, closeSource, &src, XML_CHAR_ENCODING_NONE));
    if (!ctxt)
        throw LoadError("No se puede leer el archivo " + name + ": falta memoria");

    // No network, no entity substitution, no external DTD, no validation; the parser's own
    // limits against oversized documents stay on.
    xmlCtxtUseOptions(ctxt.get(), XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_COMPACT |
                                      XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    ctxt->replaceEntities = 0;
    ctxt->loadsubset = 0;
    ctxt->validate = 0;
    ctxt->pedantic = 0;

    auto store = std::make_unique<AttributeStore>();
    ParseErrors errors;
    errors.store = store.get();
    ctxt->_private = &errors;
    ctxt->sax->startElementNs = startElementCompact;
    ctxt->sax->initialized = XML_SAX2_MAGIC;
    ctxt->sax->serror = collectError;
    ctxt->sax->warning = nullptr;
    ctxt->sax->error = nullptr;
    ctxt->sax->fatalError = nullptr;

    xmlParseDocument(ctxt.get());
    std::unique_ptr<xmlDoc, DocFree> doc(ctxt->myDoc);
    ctxt->myDoc = nullptr;

    if (src.readErrno != 0)
        throw LoadError("No se puede leer el archivo " + name + ": " + reason(src.readErrno));
    // Beyond well-formedness, a reference to an undeclared entity or an undeclared namespace
    // prefix is refused too: the values it stands for could not be read.
    if (!ctxt->wellFormed || !doc || errors.seen) {
        std::string message = "El archivo " + name + " no es un documento XML válido";
        if (errors.seen) {
            message += ": " + errors.message;
            if (errors.line > 0)
                message += " (línea " + std::to_string(errors.line) + ")";
        }
        throw LoadError(message);
    }

    xmlNodePtr root = xmlDocGetRootElement(doc.get());
    if (root == nullptr || !isElement(root, "centro")) {
        std::string rootName = root != nullptr ? chars(root->name) : "";
        if (root != nullptr && root->ns != nullptr && root->ns->prefix != nullptr)
            rootName = std::string(chars(root->ns->prefix)) + ":" + rootName;
        throw LoadError("El archivo " + name +
                        " no es un documento de centro de ITACA: su elemento raíz es '" + rootName +
                        "' en lugar de 'centro'");
    }

    std::shared_ptr<ItacaDocument> result(new ItacaDocument);
    result->doc_ = doc.release();
    result->store_ = std::move(store);
    result->file_ = file;
    return result;
}

ElementList ItacaDocument::select(std::string_view absolutePath) const {
    ElementList list;
    list.path_ = std::string(absolutePath);
    const std::vector<std::string> steps = splitPath(absolutePath);
    if (doc_ == nullptr)
        return list;
    // The document node's element children are its root; a path's first step matches the root.
    collect(reinterpret_cast<xmlNodePtr>(doc_), steps, 0, list.nodes_);
    return list;
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

void ItacaDocument::save(const fs::path& file) const {
    std::string encoding = declaredEncoding();
    if (encoding.empty())
        encoding = "UTF-8";
    materialiseAll(doc_->children);
    saveAtomically(file, [&](Sink& sink, const FailFn& fail) {
        xmlSaveCtxtPtr save = xmlSaveToIO(writeSink, closeSink, &sink, encoding.c_str(),
                                          XML_SAVE_FORMAT | XML_SAVE_AS_XML);
        if (save == nullptr)
            fail("no se puede escribir en la codificación " + encoding);
        const long written = xmlSaveDoc(save, doc_);
        const int closed = xmlSaveClose(save);
        if (sink.writeErrno != 0)
            fail(reason(sink.writeErrno));
        if (written < 0 || closed < 0)
            fail("error al escribir el documento");
    });
}

void ItacaDocument::save(const fs::path& file,
                         const std::function<void(ElementWriter&)>& rootContent) const {
    std::string encoding = declaredEncoding();
    if (encoding.empty())
        encoding = "UTF-8";
    materialiseAll(doc_->children);
    saveAtomically(file, [&](Sink& sink, const FailFn& fail) {
        // UTF-8 needs no conversion; any other encoding goes through libxml2's converter, which
        // writes a character reference for a character the encoding lacks.
        xmlCharEncodingHandlerPtr handler = nullptr;
        if (!isUtf8(encoding)) {
            handler = xmlFindCharEncodingHandler(encoding.c_str());
            if (handler == nullptr)
                fail("no se puede escribir en la codificación " + encoding);
        }
        OutputClose output{xmlOutputBufferCreateIO(writeSink, closeSink, &sink, handler)};
        if (output.out == nullptr) {
            xmlCharEncCloseFunc(handler);
            fail("falta memoria");
        }
        xmlOutputBufferPtr out = output.out;

        writeDeclaration(out, doc_, encoding);
        for (xmlNodePtr node = doc_->children; node != nullptr; node = node->next) {
            if (node->type != XML_ELEMENT_NODE) {
                xmlNodeDumpOutput(out, doc_, node, 0, 0, encoding.c_str());
                xmlOutputBufferWrite(out, 1, "\n");
                continue;
            }
            ElementWriter writer(out, 0);
            std::string name = chars(node->name);
            if (node->ns != nullptr && node->ns->prefix != nullptr)
                name = std::string(chars(node->ns->prefix)) + ":" + name;
            writer.startElement(name);
            for (xmlNsPtr ns = node->nsDef; ns != nullptr; ns = ns->next) {
                writer.pending_ += ns->prefix != nullptr
                                       ? " xmlns:" + std::string(chars(ns->prefix)) + "=\""
                                       : std::string(" xmlns=\"");
                appendEscapedUtf8(writer.pending_, ns->href != nullptr ? chars(ns->href) : "");
                writer.pending_ += '"';
            }
            for (xmlAttrPtr a = node->properties; a != nullptr; a = a->next) {
                writer.pending_ += ' ';
                if (a->ns != nullptr && a->ns->prefix != nullptr) {
                    writer.pending_ += chars(a->ns->prefix);
                    writer.pending_ += ':';
                }
                writer.pending_ += chars(a->name);
                writer.pending_ += "=\"";
                appendEscapedUtf8(writer.pending_, attrValue(node, a));
                writer.pending_ += '"';
            }
            for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
                writer.closeStartTag();
                writer.indent(1);
                writer.flush();
                xmlNodeDumpOutput(out, doc_, child, 1, 1, encoding.c_str());
                xmlOutputBufferWrite(out, 1, "\n");
            }
            writer.floor_ = 1;
            rootContent(writer);
            writer.floor_ = 0;
            while (!writer.open_.empty())
                writer.endElement();
            writer.flush();
        }

        output.out = nullptr;
        const int closed = xmlOutputBufferClose(out);
        if (sink.writeErrno != 0)
            fail(reason(sink.writeErrno));
        if (closed < 0)
            fail("error al escribir el documento");
    });
}

// --- ElementWriter ----------------------------------------------------------------------------

ElementWriter::ElementWriter(_xmlOutputBuffer* out, std::size_t depth)
    : out_(out), baseDepth_(depth) {
    pending_.reserve(kFlushSize + 4096);
}

void ElementWriter::startElement(std::string_view name) {
    closeStartTag();
    indent(baseDepth_ + open_.size());
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

void ElementWriter::endElement() {
    if (open_.size() <= floor_)
        throw Error("No hay elemento abierto que cerrar");
    if (startTagOpen_) {
        pending_ += "/>\n";
        startTagOpen_ = false;
    } else {
        indent(baseDepth_ + open_.size() - 1);
        pending_ += "</";
        pending_ += open_.back();
        pending_ += ">\n";
    }
    open_.pop_back();
    flushIfFull();
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
