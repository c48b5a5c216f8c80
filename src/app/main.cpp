// Pelmira: carries a school's timetabling data between ITACA and Horvex.

#include "app/ErrorBox.h"
#include "app/Help.h"
#include "app/MainForm.h"

int main(int argc, char** argv) {
    pelmira::app::Application app(argc, argv);
    pelmira::app::HelpSystem::instance().setHelpFile(QStringLiteral("ITACA.chm"));
    QApplication::setApplicationName(QStringLiteral("Pelmira"));

    pelmira::app::TMForm::Options options;
    options.params = QCoreApplication::arguments().mid(1);
    pelmira::app::TMForm form(std::move(options));
    form.show();
    return app.exec();
}
