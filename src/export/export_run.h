#pragma once

// The export run: an ITACA centre document into Horvex's work tables, in ten steps.

#include "export/interaction.h"
#include "export/run_state.h"
#include "itaca/document.h"
#include "worktables/workfolder.h"

#include <memory>
#include <string>

namespace pelmira::exporting {

struct ReportMemo;

class ExportRun {
public:
    ExportRun(RunState& state, Interaction& ui, worktables::WorkFolder folder);
    ~ExportRun();
    ExportRun(const ExportRun&) = delete;
    ExportRun& operator=(const ExportRun&) = delete;

    // BExportarClick without the window's own effects: asks for the file, loads it, shows the
    // chooser, runs the ten steps, sets TransferResult and shows "Proceso finalizado". Errors
    // are thrown (pelmira::Error) and end the run where they arise. The caller disables the run
    // buttons after Completed and, embedded, closes the window after either outcome.
    RunOutcome run();

    // The ten steps, in the order run() calls them. Public so that each can be tested alone
    // once `document()` is loaded.
    void BuildSubjectNames();
    void AddDutyNames();
    void BuildTeachers();
    void BuildRooms();
    void BuildCoursesAndGroups();
    void BuildAssignments();
    void ApplyGroupTimetables();
    void ApplyDutyTimetables();
    void PruneUnusedGroupsAndTeachers();
    void BuildDayHourSlots();

    // Loads a document for the steps (run() does it after the file checks).
    void setDocument(std::shared_ptr<const itaca::ItacaDocument> document);
    const std::shared_ptr<const itaca::ItacaDocument>& document() const { return document_; }

private:
    RunState& state_;
    Interaction& ui_;
    worktables::WorkFolder folder_;
    std::shared_ptr<const itaca::ItacaDocument> document_;
    // What earlier steps noted for the report, so that later steps can say why; kept only while
    // an observer listens.
    ReportMemo& memo();
    std::unique_ptr<ReportMemo> memo_;
};

// The SESIONES digit string for a number of weekly periods (at least 1).
std::string SplitIntoBlocks(int count);

// Rebuilds DIASHORAST from the period list, template code and language of `state`. The export
// run's tenth step; the import run calls it too.
void BuildDayHourSlots(const RunState& state, const worktables::WorkFolder& folder);

} // namespace pelmira::exporting
