#pragma once

// Small helpers over libxml2's tree shared by the parts of the centre document (loading, the
// attribute store, saving, the elements): libxml2's unsigned character strings as std::string
// views and back, element names and attribute values.

#include <cstring>
#include <libxml/tree.h>
#include <string>
#include <string_view>

namespace pelmira::itaca {

// `s` as a libxml2 string, kept alive in `buffer`.
inline const xmlChar* xml(std::string_view s, std::string& buffer) {
    buffer.assign(s);
    return reinterpret_cast<const xmlChar*>(buffer.c_str());
}

inline const char* chars(const xmlChar* s) {
    return reinterpret_cast<const char*>(s);
}

// An element of that name in no namespace or in the default one (no prefix).
inline bool isElement(const xmlNode* node, const std::string& name) {
    return node->type == XML_ELEMENT_NODE && (node->ns == nullptr || node->ns->prefix == nullptr) &&
           std::strcmp(chars(node->name), name.c_str()) == 0;
}

// The attribute node's text, character and entity references resolved (UTF-8).
inline std::string attrValue(const xmlNode* node, xmlAttrPtr attr) {
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

} // namespace pelmira::itaca
