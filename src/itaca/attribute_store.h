#pragma once

// The compact attribute store of a loaded centre document. The attributes of the elements inside
// the sections, which are nearly all of a centre document, are kept in large blocks of their own
// instead of as libxml2 attribute nodes (an attribute node and a text node each, some 250 bytes,
// for a value of a few characters). The element's `_private` points at its block: the count, then
// for each attribute the lengths of its name and value followed by both, in document order. Only
// values that are plain text go there; an element with an entity reference in a value, a
// prefixed attribute, or attributes defaulted by the DTD keeps ordinary attribute nodes, and so
// do the root and the section elements (the loader decides which elements it offers). Before the
// tree is written or an element changed, the block is turned back into attribute nodes.

#include <cstddef>
#include <libxml/tree.h>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmira::itaca {

class AttributeStore {
public:
    // The size of the block for a new element's attributes, as the parser hands them over (five
    // pointers each: local name, prefix, URI, value start, value end); 0 when they must stay
    // attribute nodes.
    static std::size_t blockSize(int nbAttributes, int nbDefaulted, const xmlChar** attributes);

    // Keeps those attributes in a block of that size and points the element at it.
    void keep(xmlNodePtr element, std::size_t blockSize, int nbAttributes,
              const xmlChar** attributes);

private:
    char* allocate(std::size_t n);

    static constexpr std::size_t kChunk = 1 << 20;
    std::vector<std::unique_ptr<char[]>> chunks_;
    std::vector<std::unique_ptr<char[]>> big_;
    std::size_t used_ = 0;
};

// The element's block becomes ordinary attribute nodes again, in the same order; an element
// without a block is left as it is. Throws Error when memory runs out.
void materialise(xmlNodePtr node);

// The same for `node`, its following siblings and everything below them.
void materialiseAll(xmlNodePtr node);

// The value (UTF-8) of the attribute of that exact name in no namespace, wherever it is kept;
// false when the element has none. `value` may be null.
bool lookupAttr(const xmlNode* node, std::string_view name, std::string* value);

} // namespace pelmira::itaca
