#pragma once

// Reads a saved result document back with libxml2 itself, independently of the program's own
// document class: the elements with their attributes in file order, values in UTF-8.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace pelmira::testing {

using Attributes = std::vector<std::pair<std::string, std::string>>;

struct XmlElement {
    std::string name;
    Attributes attributes;
    std::vector<XmlElement> children;
    bool hasTextOrOtherNodes = false; // any child that is not an element (text, whitespace...)
};

struct XmlFile {
    std::string encoding; // as declared, empty when none
    XmlElement root;
    int topLevelComments = 0;
};

inline XmlElement readElement(xmlNode* node) {
    XmlElement e;
    e.name = reinterpret_cast<const char*>(node->name);
    for (xmlAttr* a = node->properties; a; a = a->next) {
        xmlChar* v = xmlNodeListGetString(node->doc, a->children, 1);
        e.attributes.emplace_back(reinterpret_cast<const char*>(a->name),
                                  v ? reinterpret_cast<const char*>(v) : "");
        xmlFree(v);
    }
    for (xmlNode* c = node->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE)
            e.children.push_back(readElement(c));
        else
            e.hasTextOrOtherNodes = true;
    }
    return e;
}

// Parsed without dropping blank nodes, so that whitespace nodes inside the new root show. Since
// the serialisation is free to indent, callers only look at hasTextOrOtherNodes where the file
// is parsed with `keepBlanks` false.
inline XmlFile readXmlFile(const std::filesystem::path& file, bool keepBlanks = false) {
    int options = XML_PARSE_NONET;
    if (!keepBlanks)
        options |= XML_PARSE_NOBLANKS;
    // Read from memory: the program installs an entity loader that refuses every external
    // load, which would refuse xmlReadFile too.
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    xmlDoc* doc =
        xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "result.xml", nullptr, options);
    if (!doc)
        throw std::runtime_error("not well-formed XML: " + file.string());
    XmlFile f;
    if (doc->encoding)
        f.encoding = reinterpret_cast<const char*>(doc->encoding);
    for (xmlNode* n = doc->children; n; n = n->next)
        if (n->type == XML_COMMENT_NODE)
            ++f.topLevelComments;
    f.root = readElement(xmlDocGetRootElement(doc));
    xmlFreeDoc(doc);
    return f;
}

inline std::vector<std::string> names(const Attributes& a) {
    std::vector<std::string> n;
    for (const auto& [k, v] : a)
        n.push_back(k);
    return n;
}

inline std::vector<std::string> values(const Attributes& a) {
    std::vector<std::string> n;
    for (const auto& [k, v] : a)
        n.push_back(v);
    return n;
}

inline std::string value(const Attributes& a, const std::string& name) {
    for (const auto& [k, v] : a)
        if (k == name)
            return v;
    throw std::runtime_error("no attribute " + name);
}

} // namespace pelmira::testing
