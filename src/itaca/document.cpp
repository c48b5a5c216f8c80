#include "itaca/document.h"

#include "text/text.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
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
    return findAttr(node_, name) != nullptr;
}

std::string Element::attr(std::string_view name, std::size_t cut) const {
    const xmlAttrPtr a = findAttr(node_, name);
    if (a == nullptr) {
        std::string where = "el elemento " + nameOrUnknown();
        if (!section_.empty())
            where += " " + std::to_string(positionInSection()) + " de " + section_;
        throw Error("Falta el atributo '" + std::string(name) + "' en " + where);
    }
    const std::string value = attrValue(node_, a);
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

    ParseErrors errors;
    ctxt->_private = &errors;
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
    const std::string name = displayName(file);
    auto fail = [&](const std::string& why) {
        throw Error("No se puede guardar el archivo " + name + ": " + why);
    };

    std::string encoding = declaredEncoding();
    if (encoding.empty())
        encoding = "UTF-8";

    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(file, ec)))
        fail("es una carpeta");

    TempFile temp;
    int err = 0;
    if (!temp.create(file, err))
        fail("no se puede crear el archivo temporal (" + reason(err) + ")");

    Sink sink{temp.file()};
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

} // namespace pelmira::itaca
