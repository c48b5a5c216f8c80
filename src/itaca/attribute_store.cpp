// The compact attribute store (see attribute_store.h): the blocks, how the parser's attributes
// go into them, how they are read, and how they turn back into attribute nodes.

#include "itaca/attribute_store.h"

#include "itaca/xml.h"
#include "text/error.h"

#include <cstdint>
#include <cstring>

namespace pelmira::itaca {

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

// The attribute node of that exact name in no namespace, or null.
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

} // namespace

char* AttributeStore::allocate(std::size_t n) {
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

std::size_t AttributeStore::blockSize(int nbAttributes, int nbDefaulted,
                                      const xmlChar** attributes) {
    if (nbAttributes <= 0 || nbDefaulted != 0 || nbAttributes >= 0x10000)
        return 0;
    std::size_t size = sizeof(std::uint32_t);
    for (int i = 0; i < nbAttributes; ++i) {
        const xmlChar* const* a = attributes + 5 * i;
        const auto* value = reinterpret_cast<const char*>(a[3]);
        const auto valueLen = static_cast<std::size_t>(a[4] - a[3]);
        if (a[1] != nullptr || std::memchr(value, '&', valueLen) != nullptr)
            return 0;
        size += 8 + std::strlen(chars(a[0])) + valueLen;
    }
    return size;
}

void AttributeStore::keep(xmlNodePtr element, std::size_t blockSize, int nbAttributes,
                          const xmlChar** attributes) {
    char* block = allocate(blockSize);
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
    element->_private = block;
}

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

} // namespace pelmira::itaca
