#pragma once

// The logic of the time-template chooser: the window (TPlantillas) shows this model and forwards
// the user's edits to it; pelmira-cli and the tests drive it directly.

#include "itaca/document.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pelmira::itaca {

// A period line: the order (one character is preceded by a blank, a longer order is cut to
// three characters), " de ", the start time, " a ", the end time. Order 3 from 09:50 to 10:45
// gives " 3 de 09:50 a 10:45". All texts cp1252.
std::string periodLine(std::string_view order, std::string_view from, std::string_view to);

struct ChooserResult {
    std::string templateCode;         // trimmed text of the template box
    std::string templateShift;        // caption of the shift label, untrimmed
    std::string languageText;         // text of the chooser's language selector
    std::vector<std::string> periods; // the period list, in its sorted order
};

class TemplateChooser {
public:
    enum class Mode { Export = 0, Import = 2 };

    // `document` is the centre document to read (null reads as a document without templates or
    // periods); `languageText` the main window's selector.
    // In import mode `proposal` opens DIASHORAST and gives the PLANTILLA of its first record
    // (empty when it has none); it may throw, which stops the activation at that point.
    TemplateChooser(Mode mode, std::shared_ptr<const ItacaDocument> document,
                    std::string languageText, std::function<std::string()> proposal = {});

    // FormActivate. May throw (a missing attribute, DIASHORAST not available): the error is
    // shown and the chooser stays open with what had been filled in before.
    void activate();

    // The user's edits; each runs the template-choice step again (ComboBoxPlantillaChange),
    // which may throw the same way.
    void setTemplateText(std::string text);
    void setLanguageText(std::string text);
    void templateChanged(); // ComboBoxPlantillaChange

    // Continuar, or closing the window: the results.
    ChooserResult result() const;

    Mode mode() const { return mode_; }
    const std::string& label9Caption() const { return label9_; }
    const std::string& prompt() const { return prompt_; }
    bool languageVisible() const { return mode_ == Mode::Export; }
    const std::string& languageText() const { return language_; }
    const std::vector<std::string>& templateCodes() const { return codes_; }
    const std::string& templateText() const { return templateText_; }
    const std::string& descriptionLabel() const { return nombre_; } // LabelNombre
    const std::string& shiftLabel() const { return turno_; }        // LabelTurno
    const std::vector<std::string>& periods() const { return periods_; }

private:
    Mode mode_;
    std::string mainLanguage_; // the main window's selector, taken on activation
    std::string proposedCode_; // import mode: the template recorded in DIASHORAST
    std::shared_ptr<const ItacaDocument> document_;
    std::function<std::string()> proposal_;
    std::string label9_;
    std::string prompt_;
    std::string language_;
    std::vector<std::string> codes_;
    std::string templateText_;
    std::string nombre_ = "-";
    std::string turno_ = "-";
    std::vector<std::string> periods_;
};

} // namespace pelmira::itaca
