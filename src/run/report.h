#pragma once

// What the runs leave out. The export and import runs drop, cut and leave empty without a word
// wherever the data does not fit (a repeated code, a timetable line without its row, a teacher
// missing from PROFT, a SOLUC record whose period is not in the template). A run tells an
// observer, when one listens, about every such event: which step, which element or record, what
// happened and why. Nobody listening costs one pointer test per event: the texts are built only
// for an observer. What the runs write is the same with or without one.
//
// Every text of a ReportEvent is UTF-8 (data embedded in it converted from cp1252).

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pelmira::worktables {
class Table;
struct FieldSpec;
} // namespace pelmira::worktables

namespace pelmira::run {

struct ReportEvent {
    std::string step;     // the operation: "BuildSubjectNames", ..., "Importar"
    std::string kind;     // a short stable identifier of the kind of event, for counting
    std::string location; // "contenido 17 (MAT1)", "horario_grupo 204", "SOLUC registro 88"
    std::string message;  // what happened and why, in Spanish

    // "location: message", the line the report shows.
    std::string line() const { return location + ": " + message; }
};

class RunObserver {
public:
    virtual ~RunObserver() = default;
    virtual void event(const ReportEvent& e) = 0;
};

// The kinds of event, with the heading the report gives each.
struct ReportKind {
    std::string_view code;
    std::string_view heading;
};
const std::vector<ReportKind>& reportKinds();
std::string_view kindHeading(std::string_view code); // the code itself when unknown

// An observer that keeps every event, in the order reported.
class RunReport : public RunObserver {
public:
    void event(const ReportEvent& e) override { events_.push_back(e); }
    const std::vector<ReportEvent>& events() const { return events_; }
    bool empty() const { return events_.empty(); }
    std::size_t count(std::string_view kind) const;

private:
    std::vector<ReportEvent> events_;
};

// The report as text, the same for every front end: one block per step in the order the steps
// ran, in it one block per kind of event (heading and count) with the events' lines.
std::string formatReport(const std::vector<ReportEvent>& events, std::string_view title);

// The reporting end of one step. emit() tests the observer first and calls `build` (returning
// the location and the message) only when there is one.
class StepReport {
public:
    StepReport(RunObserver* observer, const char* step) : observer_(observer), step_(step) {}

    bool on() const { return observer_ != nullptr; }

    template <class Build> void emit(const char* kind, Build&& build) const {
        if (!observer_)
            return;
        std::pair<std::string, std::string> where = build();
        observer_->event(ReportEvent{step_, kind, std::move(where.first), std::move(where.second)});
    }

    // Reports a cp1252 `value` that the text field `field` of `table` cannot hold whole: "DNI
    // 123456789012345 recortado a 14 caracteres". `where` gives the location.
    template <class Where>
    void cut(const worktables::Table& table, std::string_view field, std::string_view value,
             Where&& where) const {
        if (!observer_)
            return;
        const int width = fieldWidth(table, field);
        if (width > 0 && value.size() > std::size_t(width))
            observer_->event(
                ReportEvent{step_, "recorte", where(), cutMessage(field, value, width)});
    }

private:
    static int fieldWidth(const worktables::Table& table, std::string_view field);
    static std::string cutMessage(std::string_view field, std::string_view value, int width);

    RunObserver* observer_;
    const char* step_;
};

// Remembers the first element of each stored key of a table (a DNI, a room or group code) and
// reports a later element with the same key, which the lookups by that key never reach. Keeps
// nothing while no observer listens.
class KeyOwners {
public:
    // `key` as stored (cut to the field's width), cp1252; an empty key is not a key.
    void add(const StepReport& report, std::string_view key, const char* elementName,
             std::size_t position, std::string_view shownKey, const char* keyName);

private:
    std::unordered_map<std::string, std::size_t> owners_; // key -> position of its first element
};

// "name position (key)" of an element, the key cp1252; without the parenthesis when key is empty.
std::string elementAt(std::string_view name, std::size_t position, std::string_view key = {});

// A cp1252 value for a message: UTF-8, and "(vacío)" when empty.
std::string shown(std::string_view cp1252);

} // namespace pelmira::run
