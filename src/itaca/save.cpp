// Saving a centre document: the tree written by libxml2 in the declared encoding, or the
// document's own declaration, top-level nodes and root start tag written around content that an
// ElementWriter streams in; either way through the platform's replacement of a whole file, so
// that the destination is renamed over only when complete.

#include "itaca/attribute_store.h"
#include "itaca/document.h"
#include "itaca/xml.h"
#include "platform/atomic_file.h"

#include <libxml/encoding.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>
#include <libxml/xmlstring.h>

namespace pelmira::itaca {

namespace fs = std::filesystem;

namespace {

// libxml2's output, into the sink of the file being replaced. A failed write is reported by the
// replacement, with the system's reason.
int writeSink(void* context, const char* buffer, int len) {
    auto* sink = static_cast<platform::Sink*>(context);
    if (len <= 0)
        return 0;
    return sink->write(buffer, static_cast<std::size_t>(len)) ? len : -1;
}

int closeSink(void* /*context*/) {
    return 0;
}

// Replaces `file` by what `write` writes into the sink; `write` reports the failures of its own
// through `fail`, which throws.
using FailFn = std::function<void(const std::string&)>;

void saveAtomically(const fs::path& file,
                    const std::function<void(platform::Sink&, const FailFn&)>& write) {
    const FailFn fail = [&](const std::string& why) {
        throw Error(platform::saveFailureMessage(file, {platform::ReplaceStage::Write, why}));
    };
    platform::replaceFile(file, [&](platform::Sink& sink) { write(sink, fail); });
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

// The root element as the tree holds it, start tag and children, indented as libxml2 indents
// them, then the streamed content and the end tags.
class RootWriter : public ElementWriter {
public:
    RootWriter(xmlOutputBufferPtr out, xmlDocPtr doc, const std::string& encoding)
        : ElementWriter(out), doc_(doc), encoding_(encoding) {}

    void write(xmlNodePtr root, const std::function<void(ElementWriter&)>& content) {
        std::string name = chars(root->name);
        if (root->ns != nullptr && root->ns->prefix != nullptr)
            name = std::string(chars(root->ns->prefix)) + ":" + name;
        startElement(name);
        for (xmlNsPtr ns = root->nsDef; ns != nullptr; ns = ns->next)
            attributeUtf8(ns->prefix != nullptr ? "xmlns:" + std::string(chars(ns->prefix))
                                                : std::string("xmlns"),
                          ns->href != nullptr ? chars(ns->href) : "");
        for (xmlAttrPtr a = root->properties; a != nullptr; a = a->next) {
            std::string attrName;
            if (a->ns != nullptr && a->ns->prefix != nullptr)
                attrName = std::string(chars(a->ns->prefix)) + ":";
            attrName += chars(a->name);
            attributeUtf8(attrName, attrValue(root, a));
        }
        for (xmlNodePtr child = root->children; child != nullptr; child = child->next) {
            closeStartTag();
            indent(1);
            flush();
            xmlNodeDumpOutput(output(), doc_, child, 1, 1, encoding_.c_str());
            xmlOutputBufferWrite(output(), 1, "\n");
        }
        setFloor(1);
        content(*this);
        closeAll();
    }

private:
    xmlDocPtr doc_;
    const std::string& encoding_;
};

// The declared encoding, UTF-8 when the document declares none.
std::string saveEncoding(const ItacaDocument& document) {
    std::string encoding = document.declaredEncoding();
    return encoding.empty() ? "UTF-8" : encoding;
}

} // namespace

void ItacaDocument::save(const fs::path& file) const {
    const std::string encoding = saveEncoding(*this);
    materialiseAll(doc_->children);
    saveAtomically(file, [&](platform::Sink& sink, const FailFn& fail) {
        xmlSaveCtxtPtr save = xmlSaveToIO(writeSink, closeSink, &sink, encoding.c_str(),
                                          XML_SAVE_FORMAT | XML_SAVE_AS_XML);
        if (save == nullptr)
            fail("no se puede escribir en la codificación " + encoding);
        const long written = xmlSaveDoc(save, doc_);
        const int closed = xmlSaveClose(save);
        if (sink.failed())
            return;
        if (written < 0 || closed < 0)
            fail("error al escribir el documento");
    });
}

void ItacaDocument::save(const fs::path& file,
                         const std::function<void(ElementWriter&)>& rootContent) const {
    const std::string encoding = saveEncoding(*this);
    materialiseAll(doc_->children);
    saveAtomically(file, [&](platform::Sink& sink, const FailFn& fail) {
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
            RootWriter(out, doc_, encoding).write(node, rootContent);
        }

        output.out = nullptr;
        const int closed = xmlOutputBufferClose(out);
        if (sink.failed())
            return;
        if (closed < 0)
            fail("error al escribir el documento");
    });
}

} // namespace pelmira::itaca
