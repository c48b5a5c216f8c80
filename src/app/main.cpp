// Pelmira: carries a school's timetabling data between ITACA and Horvex.

#include "app/AppSetup.h"
#include "app/ChmFile.h"
#include "app/ErrorBox.h"
#include "app/Help.h"
#include "app/MainForm.h"
#include "text/error.h"

#include <cstdio>

namespace {

// Installers check where the program finds its help file, without a window:
// PELMIRA_CHECK_HELP=1 pelmira prints the path and the number of topics it maps, or the reason.
int checkHelp() {
    const auto& help = pelmira::app::HelpSystem::instance();
    try {
        const pelmira::app::ChmFile chm(help.resolvedPath());
        std::printf("%s: %zu temas numerados\n", chm.path().c_str(), chm.contextMap().size());
        return 0;
    } catch (const pelmira::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

// And where it finds Qt's Spanish texts: PELMIRA_CHECK_TRANSLATION=1 pelmira prints the file.
int checkTranslation() {
    const QString file = pelmira::app::qtTranslationFile();
    if (file.isEmpty()) {
        std::fprintf(stderr, "No se encuentra la traducción de Qt qtbase_es.qm\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(file));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    pelmira::app::Application app(argc, argv);
    pelmira::app::HelpSystem::instance().setHelpFile(QStringLiteral("ITACA.chm"));
    pelmira::app::setUpApplication(app);
    if (qEnvironmentVariableIsSet("PELMIRA_CHECK_HELP"))
        return checkHelp();
    if (qEnvironmentVariableIsSet("PELMIRA_CHECK_TRANSLATION"))
        return checkTranslation();

    pelmira::app::TMForm::Options options;
    options.params = QCoreApplication::arguments().mid(1);
    pelmira::app::TMForm form(std::move(options));
    form.show();
    return app.exec();
}
