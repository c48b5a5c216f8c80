#include "itaca/chooser.h"
#include "text/error.h"
#include "text/text.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

using namespace pelmira;
using namespace pelmira::itaca;

namespace {

using Lines = std::vector<std::string>;

std::shared_ptr<const ItacaDocument> fixture(const std::string& name) {
    return ItacaDocument::load(std::filesystem::path(ITACA_TEST_DATA) / name);
}

const std::string kValencian(text::kValencian);
const std::string kCastilian(text::kCastilian);
const std::string kExportCaption = "Recoger Textos en: -------------->";
const std::string kImportCaption = "EXPORTACI\xD3N A ITACA";
const std::string kExportPrompt =
    "Seleccione la Plantilla Horaria que quiere aplicar a su Horario en Horvex.";
const std::string kImportPrompt =
    "Seleccione la Plantilla Horaria que quiere aplicar para Exportar su Horario a ITACA.";

TEST(PeriodLine, FixedPositions) {
    const std::vector<std::vector<std::string>> cases = {
        {"3", "09:50", "10:45", " 3 de 09:50 a 10:45"},
        {"12", "09:50", "10:45", "12 de 09:50 a 10:45"},
        {"123", "09:50", "10:45", "123 de 09:50 a 10:45"},
        {"1234", "09:50", "10:45", "123 de 09:50 a 10:45"},
        {"", "09:50", "10:45", " de 09:50 a 10:45"},
        {"1", "8:00", "8:50", " 1 de 8:00 a 8:50"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(periodLine(c[0], c[1], c[2]), c[3]);
    EXPECT_EQ(periodLine("3", "09:50", "10:45").size(), 19u);
}

// The user's edits after activation.
struct Edit {
    enum Kind { Template, Language } kind;
    std::string text;
};

struct Expected {
    Lines codes;
    std::string templateText;
    std::string nombre;
    std::string turno;
    Lines periods;
};

struct ChooserCase {
    const char* name;
    const char* fixture;
    TemplateChooser::Mode mode;
    std::string language;
    std::optional<std::string> proposal; // import mode; nullopt: the proposal throws
    std::vector<Edit> edits;
    Expected expected;
    std::string error; // part of the last error raised, empty when none
};

const Lines kM1 = {" 1 de 08:00 a 08:55", " 2 de 08:55 a 09:50"};
const Lines kT2 = {" 1 de 15:00 a 15:55", " 2 de 15:55 a 16:50", " 3 de 16:50 a 17:45"};
const Lines kTwoCodes = {"M1", "T2", "S3"};

Lines twelvePeriods() {
    Lines lines;
    for (int order = 1; order <= 12; ++order) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%2d de %02d:00 a %02d:55", order, order + 7, order + 7);
        lines.emplace_back(buf);
    }
    return lines;
}

std::vector<ChooserCase> cases() {
    using M = TemplateChooser::Mode;
    using E = Edit;
    return {
        {"one template keeps the labels",
         "chooser_one.xml",
         M::Export,
         kValencian,
         "",
         {},
         {{"M1"}, "M1", "-", "-", kM1},
         ""},
        {"first of two selected",
         "chooser_two.xml",
         M::Export,
         kValencian,
         "",
         {},
         {kTwoCodes, "M1", "Horari de mat\xED", "Mat\xED", kM1},
         ""},
        {"second of two chosen",
         "chooser_two.xml",
         M::Export,
         kValencian,
         "",
         {{E::Template, "T2"}},
         {kTwoCodes, "T2", "Horari de vesprada", "Vesprada", kT2},
         ""},
        {"language changed to Castilian",
         "chooser_two.xml",
         M::Export,
         kValencian,
         "",
         {{E::Template, "T2"}, {E::Language, kCastilian}},
         {kTwoCodes, "T2", "Horario de tarde", "Vesprada", kT2},
         ""},
        {"main window already Castilian",
         "chooser_two.xml",
         M::Export,
         kCastilian,
         "",
         {},
         {kTwoCodes, "M1",
          "Horario de ma\xF1"
          "ana",
          "Mat\xED", kM1},
         ""},
        {"a text that is not exactly the Valencian item",
         "chooser_two.xml",
         M::Export,
         "valenci\xE1",
         "",
         {},
         {kTwoCodes, "M1",
          "Horario de ma\xF1"
          "ana",
          "Mat\xED", kM1},
         ""},
        {"no Monday period",
         "chooser_two.xml",
         M::Export,
         kValencian,
         "",
         {{E::Template, "S3"}},
         {kTwoCodes, "S3", "Dissabte", "Cap de setmana", {}},
         ""},
        {"orders 1 to 12 sort blank first",
         "chooser_twelve.xml",
         M::Export,
         kValencian,
         "",
         {},
         {{"D", "N"}, "D", "Di\xFCrn", "Dia", twelvePeriods()},
         ""},
        {"orders of three and four characters",
         "chooser_twelve.xml",
         M::Export,
         kValencian,
         "",
         {{E::Template, "N"}},
         {{"D", "N"}, "N", "Nocturn", "Nit", {"100 de 21:00 a 21:50", "123 de 8:00 a 8:50"}},
         ""},
        {"a single period element leaves the list alone",
         "chooser_single_period.xml",
         M::Export,
         kValencian,
         "",
         {},
         {{"M1", "T2"}, "M1", "Mat\xED", "Mat\xED", {}},
         ""},
        {"typed code matching nothing",
         "chooser_two.xml",
         M::Export,
         kValencian,
         "",
         {{E::Template, "ZZ"}},
         {kTwoCodes, "ZZ", "-", "-", {}},
         ""},
        {"typed code compared untrimmed",
         "chooser_two.xml",
         M::Export,
         kValencian,
         "",
         {{E::Template, " T2"}},
         {kTwoCodes, " T2", "-", "-", {}},
         ""},
        {"later template of the same code wins",
         "chooser_duplicate.xml",
         M::Export,
         kValencian,
         "",
         {},
         {{"M1", "M1"}, "M1", "Segona", "Vesprada", {" 2 de 08:55 a 09:50", " 2 de 08:55 a 09:50"}},
         ""},
        {"import proposes the recorded template",
         "chooser_two.xml",
         M::Import,
         kValencian,
         "T2",
         {},
         {kTwoCodes, "T2", "Horari de vesprada", "Vesprada", kT2},
         ""},
        {"import with an empty DIASHORAST",
         "chooser_two.xml",
         M::Import,
         kValencian,
         "",
         {},
         {kTwoCodes, "", "-", "-", {}},
         ""},
        {"import proposal fails",
         "chooser_two.xml",
         M::Import,
         kCastilian,
         std::nullopt,
         {},
         {{}, "", "-", "-", {}},
         "DIASHORAST"},
        {"template without code stops activation",
         "chooser_broken.xml",
         M::Export,
         kValencian,
         "",
         {},
         {{"M1"}, "", "-", "-", {}},
         "Falta el atributo 'codigo' en el elemento plantilla_horario 2 de "
         "/centro/plantillas_horario"},
        {"period without end time stops the list",
         "chooser_broken_period.xml",
         M::Export,
         kValencian,
         "",
         {},
         {{"M1", "T2"}, "M1", "Mat\xED", "Mat\xED", {" 2 de 08:55 a 09:50"}},
         "Falta el atributo 'hora_hasta' en el elemento sesion_horario 2 de "
         "/centro/sesiones_horario"},
        {"day read only for the chosen template",
         "chooser_two.xml",
         M::Export,
         kValencian,
         "",
         {{E::Template, "OTRA"}},
         {kTwoCodes, "OTRA", "-", "-", {}},
         "Falta el atributo 'dia_semana' en el elemento sesion_horario 10"},
    };
}

TEST(TemplateChooser, EdgeCases) {
    for (const ChooserCase& c : cases()) {
        SCOPED_TRACE(c.name);
        std::function<std::string()> proposal;
        if (c.mode == TemplateChooser::Mode::Import)
            proposal = [&]() -> std::string {
                if (!c.proposal)
                    throw Error("No se puede abrir la tabla DIASHORAST");
                return *c.proposal;
            };
        TemplateChooser chooser(c.mode, fixture(c.fixture), c.language, proposal);
        std::string error;
        auto guarded = [&](auto&& step) {
            try {
                step();
            } catch (const Error& e) {
                error = e.what();
            }
        };
        guarded([&] { chooser.activate(); });
        for (const Edit& edit : c.edits)
            guarded([&] {
                if (edit.kind == Edit::Template)
                    chooser.setTemplateText(edit.text);
                else
                    chooser.setLanguageText(edit.text);
            });

        if (c.error.empty())
            EXPECT_EQ(error, "");
        else
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(chooser.templateCodes(), c.expected.codes);
        EXPECT_EQ(chooser.templateText(), c.expected.templateText);
        EXPECT_EQ(chooser.descriptionLabel(), c.expected.nombre);
        EXPECT_EQ(chooser.shiftLabel(), c.expected.turno);
        EXPECT_EQ(chooser.periods(), c.expected.periods);

        const bool import = c.mode == TemplateChooser::Mode::Import;
        EXPECT_EQ(chooser.label9Caption(), import ? kImportCaption : kExportCaption);
        EXPECT_EQ(chooser.prompt(), import ? kImportPrompt : kExportPrompt);
        EXPECT_EQ(chooser.languageVisible(), !import);

        const ChooserResult r = chooser.result();
        EXPECT_EQ(r.templateCode, std::string(text::trim(c.expected.templateText)));
        EXPECT_EQ(r.templateShift, c.expected.turno);
        EXPECT_EQ(r.periods, c.expected.periods);
    }
}

TEST(TemplateChooser, LanguageOfTheMainWindowIsTakenOnActivation) {
    TemplateChooser chooser(TemplateChooser::Mode::Export, fixture("chooser_two.xml"), kCastilian);
    EXPECT_EQ(chooser.languageText(), kValencian); // the stored text until shown
    chooser.activate();
    EXPECT_EQ(chooser.result().languageText, kCastilian);
    chooser.setLanguageText("otro");
    EXPECT_EQ(chooser.result().languageText, "otro");
    EXPECT_EQ(chooser.descriptionLabel(), "Horario de ma\xF1"
                                          "ana");
}

TEST(TemplateChooser, FailedProposalLeavesTheLanguageUntaken) {
    TemplateChooser chooser(TemplateChooser::Mode::Import, fixture("chooser_two.xml"), kCastilian,
                            []() -> std::string { throw Error("bloqueada"); });
    EXPECT_THROW(chooser.activate(), Error);
    EXPECT_EQ(chooser.languageText(), kValencian);
    EXPECT_EQ(chooser.result().templateCode, "");
    EXPECT_TRUE(chooser.result().periods.empty());
}

TEST(TemplateChooser, WithoutDocumentNothingIsListed) {
    TemplateChooser chooser(TemplateChooser::Mode::Export, nullptr, kValencian);
    chooser.activate();
    EXPECT_TRUE(chooser.templateCodes().empty());
    EXPECT_EQ(chooser.result().templateShift, "-");
    EXPECT_TRUE(chooser.result().periods.empty());
}

} // namespace
