// CURSOST and GRUPOST in one pass over the document: the courses, then the class groups with
// their level, course link, tutor and unique abbreviation.

#include "export/export_run.h"
#include "export/schemas.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/table.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace pelmira::exporting {

namespace {

const itaca::ItacaDocument& loaded(const std::shared_ptr<const itaca::ItacaDocument>& document) {
    if (!document)
        throw Error("No se ha cargado ningún documento de ITACA");
    return *document;
}

// "The first element of a section whose `keyAttr` equals a value gives its `valueAttr`",
// answered from a map built in one pass. It gives exactly what walking the section from its
// first element would give, errors included: such a walk reads `keyAttr` of every element it
// visits up to the first match, so an element lacking it stops every walk that reaches it. The
// map holds the elements before the first such element; a lookup that finds nothing there would
// have reached it, and reading its key raises that element's own error. `valueAttr` is read only
// from the matching element, when a lookup finds it. A section of one element or none finds
// nothing.
class FirstMatch {
public:
    FirstMatch(itaca::ElementList elements, std::string keyAttr, std::string valueAttr)
        : elements_(std::move(elements)), keyAttr_(std::move(keyAttr)),
          valueAttr_(std::move(valueAttr)) {
        if (elements_.count() <= 1)
            return;
        for (std::size_t i = 0; i < elements_.count(); ++i) {
            const itaca::Element element = elements_.item(i);
            if (!element.hasAttr(keyAttr_)) {
                stop_ = i;
                break;
            }
            firstIndex_.try_emplace(element.attr(keyAttr_), i);
        }
    }

    bool usable() const { return elements_.count() > 1; }

    // The value of the first match, or the empty text when none matches.
    std::string find(const std::string& key) const {
        if (!usable())
            return {};
        if (auto it = firstIndex_.find(key); it != firstIndex_.end())
            return elements_.item(it->second).attr(valueAttr_);
        if (stop_)
            elements_.item(*stop_).attr(keyAttr_); // throws: the element lacks it
        return {};
    }

private:
    itaca::ElementList elements_;
    std::string keyAttr_;
    std::string valueAttr_;
    std::unordered_map<std::string, std::size_t> firstIndex_;
    std::optional<std::size_t> stop_;
};

bool startsWithDigit(std::string_view s) {
    return !s.empty() && s[0] >= '0' && s[0] <= '9';
}

// The group abbreviations handed out so far (letter case ignored), with the number search of
// each base resumed where it last ended: the list only grows, so every number skipped once
// stays taken.
class GroupAbbreviations {
public:
    std::string give(const std::string& code) {
        std::string abbrev = code;
        if (used_.contains(abbrev)) {
            if (abbrev.size() >= 10)
                abbrev = std::string(text::left(abbrev, 9));
            long& next = nextNumber_[text::foldCase(abbrev)];
            if (next < 1)
                next = 1;
            for (;; ++next) {
                std::string candidate = abbrev + std::to_string(next);
                if (!used_.contains(candidate)) {
                    abbrev = std::move(candidate);
                    break;
                }
            }
        }
        // Not checked against the list again.
        if (abbrev.size() > 10)
            abbrev = std::string(text::left(abbrev, 8)) + std::string(text::right(abbrev, 2));
        used_.insert(abbrev);
        return abbrev;
    }

private:
    text::CaseInsensitiveSet used_;
    std::unordered_map<std::string, long> nextNumber_;
};

} // namespace

void ExportRun::BuildCoursesAndGroups() {
    const auto& document = loaded(document_);

    folder_.remove("GRUPOST.DBF");
    folder_.remove("GRUPOST.MDX");
    folder_.remove("CURSOST.DBF");
    folder_.remove("CURSOST.MDX");
    GroupAbbreviations abbreviations;
    auto courses = worktables::Table::rebuild(folder_, "CURSOST", schemas::cursost());
    auto groups = worktables::Table::rebuild(folder_, "GRUPOST", schemas::grupost());

    // Courses.
    const itaca::ElementList courseList = document.select("/centro/cursos/curso");
    const FirstMatch level(document.select("/centro/ensenanzas/ensenanza"), "ensenanza",
                           "abreviatura");
    if (courseList.count() > 1) {
        for (std::size_t i = 0; i < courseList.count(); ++i) {
            const itaca::Element course = courseList.item(i);
            const std::string parent = course.attr("padre");
            const std::string abbrev = course.attr("abreviatura");
            // A top-level course counts only when its abbreviation begins with a digit.
            if (parent.empty() && !startsWithDigit(abbrev))
                continue;
            const std::string nivel = level.usable() ? level.find(course.attr("ensenanza")) : "";
            const std::string code = course.attr("codigo");

            courses.append();
            courses.setText("ABREV", text::left(abbrev, 3));
            courses.setText("TURNO", state_.templateShift);
            courses.setText("NIVEL", nivel);
            courses.setText("CURSO", text::left(abbrev, 1));
            courses.setText("CLAVE", code);
            courses.setText("ESTUD", abbrev);
            courses.post();
        }
    }

    // Groups.
    const FirstMatch courseOfGroup(document.select("/centro/cursos_grupo/curso_grupo"), "grupo",
                                   "curso");
    auto teachers = worktables::Table::open(folder_, "PROFT");
    const itaca::ElementList groupList = document.select("/centro/grupos/grupo");
    if (groupList.count() > 1) {
        for (std::size_t i = 0; i < groupList.count(); ++i) {
            const itaca::Element group = groupList.item(i);
            const std::string code = group.attr("codigo");
            const std::string description = group.attr("nombre");
            const std::string shift = group.attr("turno");
            const std::string programme = group.attr("ensenanza");
            const std::string nivel = level.find(programme);
            const std::string courseCode = courseOfGroup.find(code);

            std::string tutorId = group.attr("tutor_ppal");
            if (tutorId.empty())
                tutorId = group.attr("tutor_sec");
            std::string tutor;
            if (teachers.locate({{"DNI", tutorId}}))
                tutor = teachers.text("ABREV");

            const std::string abbrev = abbreviations.give(code);

            groups.append();
            groups.setText("ABREV", abbrev);
            groups.setText("TURNO", shift);
            groups.setText("NIVEL", nivel);
            groups.setText("CURSO", text::left(code, 1));
            groups.setText("GRUPO", text::right(code, 1));
            groups.setText("CLAVE", code);
            groups.setText("CLAVECURSO", courseCode);
            groups.setText("DESCRIP", description);
            groups.setText("ENSENANZA", programme);
            groups.setText("TUTOR", tutor);
            groups.post();
        }
    }

    groups.close();
    courses.close();
    teachers.close();
}

} // namespace pelmira::exporting
