// CURSOST and GRUPOST in one pass over the document: the courses, then the class groups with
// their level, course link, tutor and unique abbreviation.

#include "export/builder_internal.h"
#include "export/export_run.h"
#include "horvex/schemas.h"
#include "run/report.h"
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
    std::string find(const std::string& key) const { return match(key).value_or(std::string()); }

    // The value of the first match; nullopt when none matches.
    std::optional<std::string> match(const std::string& key) const {
        if (!usable())
            return std::nullopt;
        if (auto it = firstIndex_.find(key); it != firstIndex_.end())
            return elements_.item(it->second).attr(valueAttr_);
        if (stop_)
            elements_.item(*stop_).attr(keyAttr_); // throws: the element lacks it
        return std::nullopt;
    }

    std::size_t count() const { return elements_.count(); }

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
        if (list_.contains(abbrev)) {
            if (abbrev.size() >= 10)
                abbrev = std::string(text::left(abbrev, 9));
            abbrev = list_.numbered(abbrev);
        }
        // Not checked against the list again.
        if (abbrev.size() > 10)
            abbrev = std::string(text::left(abbrev, 8)) + std::string(text::right(abbrev, 2));
        list_.insert(abbrev);
        return abbrev;
    }

private:
    builder::Abbreviations list_;
};

// The level of a programme; reports a programme that is not in the ensenanzas section.
std::string levelOf(const FirstMatch& level, const std::string& programme,
                    const run::StepReport& report, const char* elementName, std::size_t position,
                    const std::string& key) {
    std::optional<std::string> found = level.match(programme);
    if (!found && level.usable() && !programme.empty())
        report.emit("nivel_no_encontrado", [&] {
            return std::pair{run::elementAt(elementName, position, key),
                             "NIVEL queda vacío, la enseñanza " + text::toUtf8(programme) +
                                 " no está en ensenanzas"};
        });
    return found.value_or(std::string());
}

} // namespace

void ExportRun::BuildCoursesAndGroups() {
    const auto& document = builder::loadedDocument(document_);

    // Table::rebuild deletes each table's old .DBF and .MDX itself, and only after it has taken
    // the old table's lock: deleting the files here first would remove a table that Horvex or
    // another run holds open (POSIX lets a locked file be unlinked) instead of reporting it.
    GroupAbbreviations abbreviations;
    run::KeyOwners groupCodes;
    auto courses = worktables::Table::rebuild(folder_, "CURSOST", horvex::schemas::cursost());
    auto groups = worktables::Table::rebuild(folder_, "GRUPOST", horvex::schemas::grupost());

    // Courses.
    const itaca::ElementList courseList = document.select("/centro/cursos/curso");
    const FirstMatch level(document.select("/centro/ensenanzas/ensenanza"), "ensenanza",
                           "abreviatura");
    const run::StepReport report(state_.observer, "BuildCoursesAndGroups");
    builder::reportSmallSection(report, "cursos", courseList.count(), "CURSOST queda sin filas");
    builder::reportSmallSection(report, "ensenanzas", level.count(),
                                "NIVEL queda vacío en todos los cursos y grupos");
    if (courseList.count() > 1) {
        for (std::size_t i = 0; i < courseList.count(); ++i) {
            const itaca::Element course = courseList.item(i);
            const std::string parent = course.attr("padre");
            const std::string abbrev = course.attr("abreviatura");
            // A top-level course counts only when its abbreviation begins with a digit.
            if (parent.empty() && !startsWithDigit(abbrev)) {
                report.emit("curso_sin_padre", [&] {
                    return std::pair{run::elementAt("curso", course.position(), abbrev),
                                     std::string("no se escribe, no tiene padre y su abreviatura "
                                                 "no empieza por una cifra")};
                });
                continue;
            }
            const std::string nivel = level.usable()
                                          ? levelOf(level, course.attr("ensenanza"), report,
                                                    "curso", course.position(), abbrev)
                                          : "";
            const std::string code = course.attr("codigo");
            if (report.on()) {
                const auto where = [&] {
                    return run::elementAt("curso", course.position(), abbrev);
                };
                report.cut(courses, "NIVEL", nivel, where);
                report.cut(courses, "CLAVE", code, where);
                report.cut(courses, "ESTUD", abbrev, where);
            }

            courses.append();
            courses.setText("ABREV", text::left(abbrev, 3));
            courses.setText("TURNO", exportState_.templateShift);
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
    builder::reportSmallSection(report, "grupos", groupList.count(), "GRUPOST queda sin filas");
    if (groupList.count() > 1)
        builder::reportSmallSection(report, "cursos_grupo", courseOfGroup.count(),
                                    "CLAVECURSO queda vacío en todos los grupos");
    if (groupList.count() > 1) {
        for (std::size_t i = 0; i < groupList.count(); ++i) {
            const itaca::Element group = groupList.item(i);
            const std::string code = group.attr("codigo");
            const std::string description = group.attr("nombre");
            const std::string shift = group.attr("turno");
            const std::string programme = group.attr("ensenanza");
            const std::string nivel =
                levelOf(level, programme, report, "grupo", group.position(), code);
            const std::optional<std::string> linkedCourse = courseOfGroup.match(code);
            const std::string courseCode = linkedCourse.value_or(std::string());
            const auto where = [&] { return run::elementAt("grupo", group.position(), code); };
            if (!linkedCourse && courseOfGroup.usable())
                report.emit("curso_grupo_no_encontrado", [&] {
                    return std::pair{where(), std::string("CLAVECURSO queda vacío, el grupo no "
                                                          "está en cursos_grupo")};
                });

            std::string tutorId = group.attr("tutor_ppal");
            if (tutorId.empty())
                tutorId = group.attr("tutor_sec");
            std::string tutor;
            if (teachers.locate({{"DNI", tutorId}}))
                tutor = teachers.text("ABREV");
            else if (!tutorId.empty())
                report.emit("tutor_no_encontrado", [&] {
                    std::string why = "TUTOR queda vacío, no hay docente con DNI " +
                                      text::toUtf8(tutorId) + " en PROFT";
                    if (tutorId.size() > 14)
                        why += " (PROFT guarda solo 14 caracteres del DNI)";
                    return std::pair{where(), why};
                });

            const std::string abbrev = abbreviations.give(code);
            if (report.on()) {
                report.cut(groups, "ABREV", abbrev, where);
                report.cut(groups, "NIVEL", nivel, where);
                report.cut(groups, "CLAVE", code, where);
                report.cut(groups, "CLAVECURSO", courseCode, where);
                report.cut(groups, "DESCRIP", description, where);
                report.cut(groups, "ENSENANZA", programme, where);
                report.cut(groups, "TUTOR", tutor, where);
                groupCodes.add(report, text::left(code, 10), "grupo", group.position(), code,
                               "código");
            }

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
