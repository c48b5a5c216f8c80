#pragma once

// How a run talks to the user. The windows implement it with real dialogs, pelmira-cli with its
// options, the tests with scripted answers. Message and question texts are UTF-8.

#include <filesystem>
#include <optional>
#include <string>

namespace pelmira::itaca {
class TemplateChooser;
}

namespace pelmira::run {

class Interaction {
public:
    virtual ~Interaction() = default;

    // The file dialog "Archivo XML" (filter *.xml, default extension xml). nullopt: cancelled.
    virtual std::optional<std::filesystem::path> pickXmlFile() = 0;

    // Shows the chooser modally; returns when the user confirms or closes it. The chooser is
    // already constructed; the implementation calls activate() (and shows any error it throws
    // without ending the run), lets the user edit, and returns.
    virtual void showChooser(itaca::TemplateChooser& chooser) = 0;

    // The two questions of the export run.
    enum class Question {
        AllTemplates, // take the data of all templates? (asked by ApplyGroupTimetables)
        PruneUnused,  // remove groups and teachers without classes? (PruneUnusedGroupsAndTeachers)
    };

    // A confirmation box "Confirmación" with "&Si" (default) and "&No", Escape answering No.
    // true: Si.
    virtual bool ask(Question which, const std::string& text) = 0;

    // A message box "Pelmira" with one button "Aceptar".
    virtual void message(const std::string& text) = 0;

    // The hourglass pointer while a run works.
    virtual void setBusy(bool busy) = 0;
};

// Sets the hourglass for its lifetime, restoring the normal pointer on every path.
class BusyGuard {
public:
    explicit BusyGuard(Interaction& ui) : ui_(ui) { ui_.setBusy(true); }
    ~BusyGuard() { ui_.setBusy(false); }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    Interaction& ui_;
};

} // namespace pelmira::run
