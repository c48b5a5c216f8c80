#include "itaca/chooser.h"

#include "text/text.h"

#include <algorithm>

namespace pelmira::itaca {

namespace {

constexpr std::string_view kTemplatesPath = "/centro/plantillas_horario/plantilla_horario";
constexpr std::string_view kPeriodsPath = "/centro/sesiones_horario/sesion_horario";

constexpr std::string_view kExportCaption = "Recoger Textos en: -------------->";
constexpr std::string_view kImportCaption = "EXPORTACI\xD3N A ITACA";
constexpr std::string_view kExportPrompt =
    "Seleccione la Plantilla Horaria que quiere aplicar a su Horario en Horvex.";
constexpr std::string_view kImportPrompt =
    "Seleccione la Plantilla Horaria que quiere aplicar para Exportar su Horario a ITACA.";

ElementList selectIn(const std::shared_ptr<const ItacaDocument>& document, std::string_view path) {
    return document ? document->select(path) : ElementList{};
}

} // namespace

std::string periodLine(std::string_view order, std::string_view from, std::string_view to) {
    std::string line;
    if (order.size() == 1)
        line = " " + std::string(order);
    else
        line = std::string(text::left(order, 3));
    line += " de ";
    line += from;
    line += " a ";
    line += to;
    return line;
}

TemplateChooser::TemplateChooser(Mode mode, std::shared_ptr<const ItacaDocument> document,
                                 std::string languageText, std::function<std::string()> proposal)
    : mode_(mode), mainLanguage_(std::move(languageText)), document_(std::move(document)),
      proposal_(std::move(proposal)), label9_(kExportCaption), prompt_(kExportPrompt),
      language_(text::kValencian) {}

void TemplateChooser::activate() {
    if (mode_ == Mode::Import) {
        label9_ = kImportCaption;
        prompt_ = kImportPrompt;
        // Opening DIASHORAST may fail; the activation then stops here.
        proposedCode_ = proposal_ ? proposal_() : std::string();
    }
    language_ = mainLanguage_;

    const ElementList templates = selectIn(document_, kTemplatesPath);
    if (templates.count() > 0) {
        codes_.clear();
        for (std::size_t i = 0; i < templates.count(); ++i)
            codes_.push_back(templates.item(i).attr("codigo"));
    }

    if (mode_ == Mode::Import)
        templateText_ = proposedCode_;
    else if (!codes_.empty())
        templateText_ = codes_.front();

    templateChanged();
}

void TemplateChooser::setTemplateText(std::string text) {
    templateText_ = std::move(text);
    templateChanged();
}

void TemplateChooser::setLanguageText(std::string text) {
    language_ = std::move(text);
    templateChanged();
}

void TemplateChooser::templateChanged() {
    const ElementList templates = selectIn(document_, kTemplatesPath);
    nombre_ = "-";
    turno_ = "-";
    // With a single template the description and the shift keep "-".
    if (templates.count() > 1) {
        for (std::size_t i = 0; i < templates.count(); ++i) {
            const Element e = templates.item(i);
            if (templateText_ != e.attr("codigo"))
                continue;
            nombre_ = e.attr(language_ == text::kValencian ? "descripcion_val" : "descripcion_cas");
            turno_ = e.attr("turno");
        }
    }

    const ElementList periods = selectIn(document_, kPeriodsPath);
    // With a single period element in the whole document the list is left as it is.
    if (periods.count() <= 1)
        return;
    periods_.clear();
    for (std::size_t i = 0; i < periods.count(); ++i) {
        const Element e = periods.item(i);
        if (templateText_ != e.attr("plantilla"))
            continue;
        if (e.attr("dia_semana") != "L")
            continue;
        const std::string order = e.attr("sesion_orden");
        const std::string from = e.attr("hora_desde");
        const std::string to = e.attr("hora_hasta");
        std::string line = periodLine(order, from, to);
        // The list box keeps its lines in ascending byte order (the blank before the digits);
        // an equal line goes after those already there.
        periods_.insert(std::upper_bound(periods_.begin(), periods_.end(), line), std::move(line));
    }
}

ChooserResult TemplateChooser::result() const {
    ChooserResult r;
    r.templateCode = std::string(text::trim(templateText_));
    r.templateShift = turno_;
    r.languageText = language_;
    r.periods = periods_;
    return r;
}

} // namespace pelmira::itaca
