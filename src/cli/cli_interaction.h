#pragma once

// The runs' interaction for pelmira-cli: the file, the chooser's template and the answers to the
// questions come from the options; every message and every question (with the answer taken) is
// printed on its own line on the output stream.

#include "run/interaction.h"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

namespace pelmira::cli {

struct CliAnswers {
    std::filesystem::path xml;
    std::optional<std::string> templateText; // cp1252, put into the chooser's template box
    bool allTemplates = true;                // --group-question
    bool pruneUnused = true;                 // --prune-question
};

class CliInteraction : public run::Interaction {
public:
    CliInteraction(CliAnswers answers, std::ostream& out, std::ostream& err);

    std::optional<std::filesystem::path> pickXmlFile() override;
    // The chooser starts from the run state's language (--language); only the template is typed.
    void showChooser(itaca::TemplateChooser& chooser) override;
    bool ask(Question which, const std::string& text) override;
    void message(const std::string& text) override;
    void setBusy(bool) override {}

private:
    CliAnswers answers_;
    std::ostream& out_;
    std::ostream& err_;
};

} // namespace pelmira::cli
