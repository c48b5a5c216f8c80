#pragma once

// Shared by the steps that build the subject, teacher, room, course and group tables: the loaded
// document, the numbered abbreviations, and the report of a section too small to be read.

#include "itaca/document.h"
#include "run/report.h"
#include "text/error.h"
#include "text/text.h"

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>

namespace pelmira::exporting::builder {

// The centre document the steps read; a step called before one was loaded is an error.
inline const itaca::ItacaDocument&
loadedDocument(const std::shared_ptr<const itaca::ItacaDocument>& document) {
    if (!document)
        throw Error("No se ha cargado ningún documento de ITACA para la exportación.");
    return *document;
}

// The abbreviations handed out so far by one step, letter case ignored. numbered() gives the
// first of base + "1", base + "2", ... not yet in the list; it remembers where the search for
// each base ended, so many equal bases cost no more than one pass (the list only grows, so every
// number skipped once stays taken).
class Abbreviations {
public:
    bool contains(const std::string& s) const { return used_.contains(s); }
    void insert(const std::string& s) { used_.insert(s); }

    std::string numbered(const std::string& base) {
        long& next = nextNumber_[text::foldCase(base)];
        if (next < 1)
            next = 1;
        for (;; ++next) {
            std::string candidate = base + std::to_string(next);
            if (!used_.contains(candidate))
                return candidate;
        }
    }

private:
    text::CaseInsensitiveSet used_;
    std::unordered_map<std::string, long> nextNumber_;
};

// A section of exactly one element is read like an empty one; the report says so.
inline void reportSmallSection(const run::StepReport& report, const char* section,
                               std::size_t count, const char* consequence) {
    if (count == 1)
        report.emit("seccion_insuficiente", [&] {
            return std::pair{std::string(section),
                             std::string("tiene un solo elemento; ") + consequence};
        });
}

} // namespace pelmira::exporting::builder
