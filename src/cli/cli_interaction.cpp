#include "cli/cli_interaction.h"

#include "itaca/chooser.h"
#include "text/error.h"

#include <ostream>

namespace pelmira::cli {

CliInteraction::CliInteraction(CliAnswers answers, std::ostream& out, std::ostream& err)
    : answers_(std::move(answers)), out_(out), err_(err) {}

std::optional<std::filesystem::path> CliInteraction::pickXmlFile() {
    return answers_.xml;
}

void CliInteraction::showChooser(itaca::TemplateChooser& chooser) {
    // An error inside the chooser does not end the run: the window would show it and stay open
    // with what it had filled in, and the user could still confirm.
    auto guarded = [this](auto&& step) {
        try {
            step();
        } catch (const Error& e) {
            err_ << e.what() << '\n';
        }
    };
    guarded([&] { chooser.activate(); });
    if (answers_.templateText)
        guarded([&] { chooser.setTemplateText(*answers_.templateText); });
}

bool CliInteraction::ask(Question which, const std::string& text) {
    const bool yes = which == Question::AllTemplates ? answers_.allTemplates : answers_.pruneUnused;
    out_ << text << '\n' << (yes ? "Respuesta: Si" : "Respuesta: No") << '\n';
    return yes;
}

void CliInteraction::message(const std::string& text) {
    out_ << text << '\n';
}

} // namespace pelmira::cli
