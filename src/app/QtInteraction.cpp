#include "app/QtInteraction.h"

#include "app/Plantihoras.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace pelmira::app {

QString messageText(const std::string& utf8) {
    QString text = QString::fromStdString(utf8);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QtInteraction::QtInteraction(QWidget* parent) : parent_(parent) {}

QtInteraction::~QtInteraction() {
    while (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

std::optional<std::filesystem::path> QtInteraction::pickXmlFile() {
    QFileDialog dialog(parent_, QStringLiteral("Archivo XML"));
    dialog.setObjectName(QStringLiteral("OpenDialogXML"));
    // Qt's own dialog: a platform dialog cannot be driven or tested the same everywhere.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name that does not exist is accepted: the run then says so.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("*.xml"));
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    if (!initialFile_.empty()) {
        const QString initial = QString::fromStdU16String(initialFile_.u16string());
        dialog.selectFile(initial);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    std::filesystem::path chosen(dialog.selectedFiles().constFirst().toStdU16String());
    initialFile_ = chosen;
    return chosen;
}

void QtInteraction::showChooser(itaca::TemplateChooser& chooser) {
    TPlantillas window(chooser, parent_);
    window.exec();
}

bool QtInteraction::ask(Question, const std::string& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirmación"), messageText(text),
                    QMessageBox::NoButton, parent_);
    QPushButton* yes = box.addButton(QStringLiteral("&Si"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void QtInteraction::message(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Pelmira"), messageText(text),
                    QMessageBox::NoButton, parent_);
    box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
    box.exec();
}

void QtInteraction::setBusy(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
    } else if (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

} // namespace pelmira::app
