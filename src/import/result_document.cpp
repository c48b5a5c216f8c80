#include "import/result_document.h"

#include "text/error.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace pelmira::importing {

namespace {

std::string utf8Path(const std::filesystem::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

} // namespace

ResultDocument::ResultDocument(itaca::ItacaDocument& document, std::string_view timestamp)
    : document_(document) {
    const itaca::ElementList roots = document_.select("/centro");
    if (roots.count() == 0)
        throw Error("El documento " + utf8Path(document_.file()) +
                    " no tiene el elemento raíz centro");
    const itaca::Element input = roots.item(0);
    const std::string codigo = input.attr("codigo");
    const std::string denominacion = input.attr("denominacion");
    const std::string curso = input.attr("curso");
    const std::string version = input.attr("version");

    root_ = document_.replaceRoot("centro");
    root_.setAttribute("codigo", codigo);
    root_.setAttribute("denominacion", denominacion);
    root_.setAttribute("curso", curso);
    root_.setAttribute("fecha_exportacion", timestamp);
    root_.setAttribute("version", version);
}

void ResultDocument::openGroupSection() {
    groups_ = root_.appendChild("horarios_grupo");
}

void ResultDocument::addGroupLine(std::string_view templateCode, const ClassLine& l) {
    itaca::Element e = groups_.appendChild("horario_grupo");
    e.setAttribute("plantilla", templateCode);
    e.setAttribute("dia_semana", l.dia_semana);
    e.setAttribute("sesion_orden", l.sesion_orden);
    e.setAttribute("hora_desde", l.hora_desde);
    e.setAttribute("hora_hasta", l.hora_hasta);
    e.setAttribute("grupo", l.grupo);
    e.setAttribute("ensenanza", l.ensenanza);
    e.setAttribute("curso", l.curso);
    e.setAttribute("contenido", l.contenido);
    e.setAttribute("docente", l.docente);
    e.setAttribute("aula", l.aula);
    e.setAttribute("idioma", "");
}

void ResultDocument::openDutySection() {
    duties_ = root_.appendChild("horarios_ocupaciones");
}

void ResultDocument::addDutyLine(std::string_view templateCode, const DutyLine& l) {
    itaca::Element e = duties_.appendChild("horario_ocupacion");
    e.setAttribute("plantilla", templateCode);
    e.setAttribute("dia_semana", l.dia_semana);
    e.setAttribute("sesion_orden", l.sesion_orden);
    e.setAttribute("hora_desde", l.hora_desde);
    e.setAttribute("hora_hasta", l.hora_hasta);
    e.setAttribute("docente", l.docente);
    e.setAttribute("ensenanza", l.ensenanza);
    e.setAttribute("ocupacion", l.ocupacion);
}

void ResultDocument::save(const std::filesystem::path& file) const {
    document_.save(file);
}

std::string formatExportTimestamp(const std::tm& t) {
#ifdef _WIN32
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.tm_year + 1900);
    st.wMonth = static_cast<WORD>(t.tm_mon + 1);
    st.wDay = static_cast<WORD>(t.tm_mday);
    st.wDayOfWeek = static_cast<WORD>(t.tm_wday);
    st.wHour = static_cast<WORD>(t.tm_hour);
    st.wMinute = static_cast<WORD>(t.tm_min);
    st.wSecond = static_cast<WORD>(t.tm_sec);
    char date[128] = {};
    char time[128] = {};
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof date) &&
        GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, sizeof time))
        return std::string(date) + ' ' + time;
#endif
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.tm_mday, t.tm_mon + 1,
                  t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
}

std::string currentExportTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return formatExportTimestamp(local);
}

} // namespace pelmira::importing
