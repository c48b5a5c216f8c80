#include "import/result_document.h"

#include "platform/local_time.h"
#include "platform/path_text.h"
#include "text/error.h"

#include <algorithm>
#include <array>

namespace pelmira::importing {

namespace {

constexpr std::size_t kPieceSize = 1 << 20;

// Attribute names of the lines, in the order they are written.
constexpr std::array<const char*, 12> kGroupLine{
    "plantilla", "dia_semana", "sesion_orden", "hora_desde", "hora_hasta", "grupo",
    "ensenanza", "curso",      "contenido",    "docente",    "aula",       "idioma"};
constexpr std::array<const char*, 8> kDutyLine{"plantilla",  "dia_semana", "sesion_orden",
                                               "hora_desde", "hora_hasta", "docente",
                                               "ensenanza",  "ocupacion"};

} // namespace

ResultDocument::ResultDocument(itaca::ItacaDocument& document, std::string_view timestamp)
    : document_(document) {
    const itaca::ElementList roots = document_.select("/centro");
    if (roots.count() == 0)
        throw Error("El documento " + platform::pathText(document_.file()) +
                    " no tiene el elemento raíz centro");
    const itaca::Element input = roots.item(0);
    const std::string codigo = input.attr("codigo");
    const std::string denominacion = input.attr("denominacion");
    const std::string curso = input.attr("curso");
    const std::string version = input.attr("version");

    itaca::Element root = document_.replaceRoot("centro");
    root.setAttribute("codigo", codigo);
    root.setAttribute("denominacion", denominacion);
    root.setAttribute("curso", curso);
    root.setAttribute("fecha_exportacion", timestamp);
    root.setAttribute("version", version);
}

void ResultDocument::openGroupSection() {
    sections_.push_back(
        {"horarios_grupo", "horario_grupo", kGroupLine.data(), kGroupLine.size(), {}, 0});
    groups_ = &sections_.back();
}

void ResultDocument::openDutySection() {
    sections_.push_back(
        {"horarios_ocupaciones", "horario_ocupacion", kDutyLine.data(), kDutyLine.size(), {}, 0});
    duties_ = &sections_.back();
}

void ResultDocument::addLine(Section* section, const char* lineName,
                             std::initializer_list<std::string_view> values) {
    if (section == nullptr)
        throw Error(std::string("No se puede añadir el elemento ") + lineName +
                    ": no hay elemento padre");
    std::size_t size = 0;
    for (const std::string_view v : values)
        size += v.size() + 5;
    if (section->pieces.empty() ||
        section->pieces.back().size() + size > section->pieces.back().capacity()) {
        section->pieces.emplace_back();
        section->pieces.back().reserve(std::max(kPieceSize, size));
    }
    std::string& piece = section->pieces.back();
    for (const std::string_view v : values) {
        std::size_t n = v.size();
        while (n >= 0x80) {
            piece.push_back(static_cast<char>(0x80 | (n & 0x7F)));
            n >>= 7;
        }
        piece.push_back(static_cast<char>(n));
        piece.append(v);
    }
    ++section->lines;
}

void ResultDocument::addGroupLine(std::string_view templateCode, const ClassLine& l) {
    addLine(groups_, "horario_grupo",
            {templateCode, l.dia_semana, l.sesion_orden, l.hora_desde, l.hora_hasta, l.grupo,
             l.ensenanza, l.curso, l.contenido, l.docente, l.aula, std::string_view()});
}

void ResultDocument::addDutyLine(std::string_view templateCode, const DutyLine& l) {
    addLine(duties_, "horario_ocupacion",
            {templateCode, l.dia_semana, l.sesion_orden, l.hora_desde, l.hora_hasta, l.docente,
             l.ensenanza, l.ocupacion});
}

void ResultDocument::save(const std::filesystem::path& file) const {
    document_.save(file, [this](itaca::ElementWriter& out) {
        for (const Section& section : sections_) {
            out.startElement(section.name);
            for (const std::string& piece : section.pieces) {
                const char* p = piece.data();
                const char* const end = p + piece.size();
                while (p < end) {
                    out.startElement(section.lineName);
                    for (std::size_t i = 0; i < section.attributeCount; ++i) {
                        std::size_t n = 0;
                        int shift = 0;
                        while (static_cast<unsigned char>(*p) & 0x80) {
                            n |= std::size_t(static_cast<unsigned char>(*p++) & 0x7F) << shift;
                            shift += 7;
                        }
                        n |= std::size_t(static_cast<unsigned char>(*p++)) << shift;
                        out.attribute(section.attributes[i], std::string_view(p, n));
                        p += n;
                    }
                    out.endElement();
                }
            }
            out.endElement();
        }
    });
}

std::string formatExportTimestamp(const std::tm& localTime) {
    return platform::localDateTimeText(localTime);
}

std::string currentExportTimestamp() {
    return formatExportTimestamp(platform::localTime(std::time(nullptr)));
}

} // namespace pelmira::importing
