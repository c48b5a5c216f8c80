#pragma once

// An Interaction for tests: answers given in advance, everything shown is recorded.

#include "itaca/chooser.h"
#include "run/interaction.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pelmira::testing {

class ScriptedInteraction : public run::Interaction {
public:
    std::optional<std::filesystem::path> file;            // what the file dialog returns
    std::function<void(itaca::TemplateChooser&)> chooser; // what the user does in the chooser
    bool allTemplatesAnswer = true;
    bool pruneAnswer = true;

    std::vector<std::string> messages;
    std::vector<Question> questions;
    std::vector<std::string> questionTexts;
    std::vector<std::string> chooserErrors;
    int chooserShown = 0;
    int busyDepth = 0;

    std::optional<std::filesystem::path> pickXmlFile() override { return file; }

    void showChooser(itaca::TemplateChooser& c) override {
        ++chooserShown;
        try {
            c.activate();
        } catch (const std::exception& e) {
            chooserErrors.emplace_back(e.what());
        }
        if (chooser)
            chooser(c);
    }

    bool ask(Question which, const std::string& text) override {
        questions.push_back(which);
        questionTexts.push_back(text);
        return which == Question::AllTemplates ? allTemplatesAnswer : pruneAnswer;
    }

    void message(const std::string& text) override { messages.push_back(text); }
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
};

} // namespace pelmira::testing
