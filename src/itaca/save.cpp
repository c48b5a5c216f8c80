// Saving a centre document: the tree written by libxml2 in the declared encoding, or the
// document's own declaration, top-level nodes and root start tag written around content that an
// ElementWriter streams in; either way into a temporary file beside the destination that is
// renamed over it only when complete.

#include "itaca/attribute_store.h"
#include "itaca/document.h"
#include "itaca/files.h"
#include "itaca/xml.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <libxml/encoding.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>
#include <libxml/xmlstring.h>
#include <random>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace pelmira::itaca {

namespace fs = std::filesystem;

namespace {

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
    const std::string encoding = saveEncoding(*this);
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
            RootWriter(out, doc_, encoding).write(node, rootContent);
        }

        output.out = nullptr;
        const int closed = xmlOutputBufferClose(out);
        if (sink.writeErrno != 0)
            fail(reason(sink.writeErrno));
        if (closed < 0)
            fail("error al escribir el documento");
    });
}

} // namespace pelmira::itaca
