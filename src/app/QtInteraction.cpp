#include "app/QtInteraction.h"

#include "app/EmbeddedHost.h"
#include "app/Plantihoras.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace pelmira::app {

namespace {

// Before a dialog is shown and after it has closed: a host that has gone away ends the run.
void throwIfHostGone() {
    if (EmbeddedHost* host = EmbeddedHost::current(); host && host->isGone())
        throw RunAbandoned();
}

} // namespace

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
    throwIfHostGone();
    QFileDialog dialog(dialogParent(parent_), QStringLiteral("Archivo XML"));
    ownDialog(&dialog);
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
    const int answer = dialog.exec();
    throwIfHostGone();
    if (answer != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    std::filesystem::path chosen(dialog.selectedFiles().constFirst().toStdU16String());
    initialFile_ = chosen;
    return chosen;
}

void QtInteraction::showChooser(itaca::TemplateChooser& chooser) {
    throwIfHostGone();
    TPlantillas window(chooser, dialogParent(parent_));
    ownDialog(&window);
    window.exec();
    throwIfHostGone();
}

namespace {

// A confirmation box that tells closing by its close box apart from the Escape key: both give
// the escape button, but the two questions read a closed box differently.
class ConfirmationBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    bool closedByCloseBox() const { return closed_; }

protected:
    void closeEvent(QCloseEvent* event) override {
        closed_ = true;
        QMessageBox::closeEvent(event);
    }

private:
    bool closed_ = false;
};

} // namespace

bool QtInteraction::ask(Question which, const std::string& text) {
    throwIfHostGone();
    ConfirmationBox box(QMessageBox::Question, QStringLiteral("Confirmación"), messageText(text),
                        QMessageBox::NoButton, dialogParent(parent_));
    ownDialog(&box);
    QPushButton* yes = box.addButton(QStringLiteral("&Si"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    throwIfHostGone();
    // Closing the box is no answer: the group-timetable step goes on unless told Si, pruning
    // goes on unless told No.
    if (box.closedByCloseBox() && box.clickedButton() != yes)
        return which == Question::PruneUnused;
    return box.clickedButton() == yes;
}

void QtInteraction::message(const std::string& text) {
    throwIfHostGone();
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Pelmira"), messageText(text),
                    QMessageBox::NoButton, dialogParent(parent_));
    ownDialog(&box);
    box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
    box.exec();
    throwIfHostGone();
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
