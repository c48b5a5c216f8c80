// Loading a centre document: libxml2's parser set up so that nothing outside the document is
// ever read (no network, no DTD, no external entity) and Windows-1252 is read whether libxml2
// converts it or not; fed from an open stream so that an I/O error is told apart from a parse
// error; its first error kept for the message; the section elements' attributes handed to the
// compact attribute store.

#include "itaca/attribute_store.h"
#include "itaca/cp1252_encoding.h"
#include "itaca/document.h"
#include "itaca/xml.h"
#include "platform/error_text.h"
#include "platform/open_file.h"
#include "platform/path_text.h"

#include <cerrno>
#include <cstdio>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <mutex>
#include <system_error>

namespace pelmira::itaca {

namespace fs = std::filesystem;

namespace {

// Nothing outside the document itself is ever read: no DTD, no external entity, whatever the
// document asks for and whatever options some other code may set.
xmlParserInputPtr refuseExternalEntity(const char* /*url*/, const char* /*id*/,
                                       xmlParserCtxtPtr ctxt) {
    if (ctxt != nullptr)
        ctxt->errNo = XML_IO_NETWORK_ATTEMPT;
    return nullptr;
}

// Once for the process, before the first document: the refusing entity loader, and Windows-1252
// where libxml2 cannot convert it itself.
void setUpLibxml2() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternalEntity);
        ensureCp1252Encoding();
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

// The parser's start of an element: the tree gets the element; the store gets the attributes of
// the elements inside the sections (below the root and the section elements).
void startElementCompact(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                         const xmlChar* uri, int nbNamespaces, const xmlChar** namespaces,
                         int nbAttributes, int nbDefaulted, const xmlChar** attributes) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    auto* state = static_cast<ParseErrors*>(ctxt->_private);
    const bool offered = state != nullptr && state->store != nullptr && ctxt->nodeNr >= 2;
    const std::size_t size =
        offered ? AttributeStore::blockSize(nbAttributes, nbDefaulted, attributes) : 0;
    if (size == 0) {
        xmlSAX2StartElementNs(ctx, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes,
                              nbDefaulted, attributes);
        return;
    }
    const int depth = ctxt->nodeNr;
    xmlSAX2StartElementNs(ctx, localname, prefix, uri, nbNamespaces, namespaces, 0, 0, nullptr);
    xmlNodePtr node = ctxt->node;
    if (ctxt->nodeNr != depth + 1 || node == nullptr || node->type != XML_ELEMENT_NODE)
        return; // the element was not made (out of memory): the parser stops on its own
    state->store->keep(node, size, nbAttributes, attributes);
}

struct ParserCtxtFree {
    void operator()(xmlParserCtxtPtr ctxt) const { xmlFreeParserCtxt(ctxt); }
};

struct DocFree {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};

} // namespace

std::shared_ptr<ItacaDocument> ItacaDocument::load(const fs::path& file) {
    setUpLibxml2();
    const std::string name = platform::pathText(file);

    std::error_code ec;
    if (fs::is_directory(file, ec))
        throw LoadError("No se puede leer el archivo " + name + ": es una carpeta");

    Source src;
    errno = 0;
    src.file = platform::openFile(file, "rb");
    if (src.file == nullptr) {
        const int err = errno;
        throw LoadError("No se puede leer el archivo " + name + ": " + platform::errnoText(err));
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
        throw LoadError("No se puede leer el archivo " + name + ": " +
                        platform::errnoText(src.readErrno));
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

    return std::shared_ptr<ItacaDocument>(new ItacaDocument(doc.release(), std::move(store), file));
}

} // namespace pelmira::itaca
