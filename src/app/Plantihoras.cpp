#include "app/Plantihoras.h"

#include "app/ErrorBox.h"
#include "app/FormKit.h"
#include "app/GradientPanel.h"
#include "app/Help.h"
#include "itaca/chooser.h"
#include "text/text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace pelmira::app {

namespace {

QString fromCp1252(std::string_view s) {
    return QString::fromStdString(text::toUtf8(s));
}
std::string toCp1252(const QString& s) {
    return text::toCp1252(s.toStdString());
}

const char* const kStoredLabel9 = "Recoger Textos en: -------------->";
const char* const kStoredPrompt =
    "Seleccione la Plantilla Horaria que quiere aplicar a su Horario en Horvex.";

} // namespace

TPlantillas::TPlantillas(itaca::TemplateChooser& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setObjectName(QStringLiteral("Plantillas"));
    setWindowTitle(QStringLiteral("Plantillas Horarias"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(formFont());
    setProperty("Tag", static_cast<int>(model_.mode()));
    setHelpContext(this, 1);
    resize(369, 265);
    move(444, 334);

    // Sky blue through white to the inactive caption text colour of the classic scheme.
    Draw3D4 = new GradientPanel(QColor(166, 202, 240), Qt::white, QColor(212, 208, 200), this);
    Draw3D4->setObjectName(QStringLiteral("Draw3D4"));
    Draw3D4->setGeometry(0, 0, 369, 265);
    setHelpContext(Draw3D4, 3);

    Label9 = makeLabel(Draw3D4, "Label9", QString::fromUtf8(kStoredLabel9), QPoint(6, 10));
    setTextColor(Label9, kRed);
    setBold(Label9);
    Label9->adjustSize();

    ComboBoxValCast = makeComboBox(Draw3D4, "ComboBoxValCast", QPoint(205, 6), 133);
    setBold(ComboBoxValCast);
    ComboBoxValCast->addItem(fromCp1252(text::kValencian));
    ComboBoxValCast->addItem(fromCp1252(text::kCastilian));
    ComboBoxValCast->setEditText(fromCp1252(text::kValencian));
    setHelpContext(ComboBoxValCast, 1);

    LabelPlantillas = makeLabel(Draw3D4, "LabelPlantillas", QString::fromUtf8(kStoredPrompt),
                                QRect(6, 33, 321, 33), true);
    LabelPlantillas->setFont(storedFont(QStringLiteral("Arial"), 10, true));

    Label1 = makeLabel(Draw3D4, "Label1", QStringLiteral("HORAS"), QRect(228, 61, 67, 18), false);
    Label1->setFont(storedFont(QStringLiteral("Arial"), 12, true));
    setTextColor(Label1, kMaroon);

    ComboBoxPlantilla = makeComboBox(Draw3D4, "ComboBoxPlantilla", QPoint(8, 80), 129);
    setBold(ComboBoxPlantilla);
    ComboBoxPlantilla->setCompleter(nullptr);
    {
        QPalette palette = ComboBoxPlantilla->palette();
        palette.setColor(QPalette::Base, kYellow);
        palette.setColor(QPalette::Button, kYellow);
        ComboBoxPlantilla->setPalette(palette);
    }

    ListBox1 = new QListWidget(Draw3D4);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(168, 80, 197, 149);
    setTextColor(ListBox1, kBlue);
    setBold(ListBox1);

    Label3 = makeLabel(Draw3D4, "Label3", QStringLiteral("Horario:"), QRect(2, 105, 63, 22), false);
    Label3->setFont(storedFont(QStringLiteral("Arial"), 9, true));

    LabelNombre =
        makeLabel(Draw3D4, "LabelNombre", QStringLiteral("-"), QRect(2, 127, 162, 36), true);
    LabelNombre->setFont(storedFont(QStringLiteral("Arial"), 9, true));
    setTextColor(LabelNombre, kMaroon);

    Label2 = makeLabel(Draw3D4, "Label2", QStringLiteral("Turno:"), QRect(2, 185, 39, 22), false);
    Label2->setFont(storedFont(QStringLiteral("Arial"), 9, true));

    LabelTurno =
        makeLabel(Draw3D4, "LabelTurno", QStringLiteral("-"), QRect(44, 185, 101, 23), false);
    LabelTurno->setFont(storedFont(QStringLiteral("Arial"), 9, true));
    setTextColor(LabelTurno, kMaroon);

    BitBtnContinuar = makeConfirmButton(Draw3D4, "BitBtnContinuar", QStringLiteral("Continuar"),
                                        QRect(255, 234, 89, 25));
    setBold(BitBtnContinuar);
    BitBtnContinuar->setDefault(true);
    setHelpContext(BitBtnContinuar, 3);

    connect(ComboBoxPlantilla, &QComboBox::editTextChanged, this,
            &TPlantillas::ComboBoxPlantillaChange);
    connect(ComboBoxValCast, &QComboBox::editTextChanged, this,
            &TPlantillas::ComboBoxPlantillaChange);
    connect(BitBtnContinuar, &QPushButton::clicked, this, &TPlantillas::BitBtnContinuarClick);
}

void TPlantillas::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!activated_) {
        activated_ = true;
        FormActivate();
    }
}

void TPlantillas::FormActivate() {
    guarded(this, [this] { model_.activate(); });
    // Whatever the activation filled in before an error shows.
    showModel(true);
}

void TPlantillas::ComboBoxPlantillaChange() {
    if (updating_)
        return;
    const std::string language = toCp1252(ComboBoxValCast->currentText());
    const std::string templateText = toCp1252(ComboBoxPlantilla->currentText());
    guarded(this, [&] {
        if (model_.languageVisible() && language != model_.languageText())
            model_.setLanguageText(language);
        else if (templateText != model_.templateText())
            model_.setTemplateText(templateText);
        else
            model_.templateChanged();
    });
    showModel(false);
}

void TPlantillas::showModel(bool withCodes) {
    updating_ = true;
    if (!model_.label9Caption().empty())
        Label9->setText(fromCp1252(model_.label9Caption()));
    Label9->adjustSize();
    if (!model_.prompt().empty())
        LabelPlantillas->setText(fromCp1252(model_.prompt()));
    ComboBoxValCast->setVisible(model_.languageVisible());
    if (ComboBoxValCast->currentText() != fromCp1252(model_.languageText()))
        ComboBoxValCast->setEditText(fromCp1252(model_.languageText()));

    if (withCodes) {
        ComboBoxPlantilla->clear();
        for (const std::string& code : model_.templateCodes())
            ComboBoxPlantilla->addItem(fromCp1252(code));
    }
    const QString templateText = fromCp1252(model_.templateText());
    if (ComboBoxPlantilla->currentText() != templateText) {
        const int index = ComboBoxPlantilla->findText(templateText, Qt::MatchExactly);
        if (withCodes && index >= 0)
            ComboBoxPlantilla->setCurrentIndex(index);
        ComboBoxPlantilla->setEditText(templateText);
    }

    LabelNombre->setText(fromCp1252(model_.descriptionLabel()));
    LabelTurno->setText(fromCp1252(model_.shiftLabel()));
    ListBox1->clear();
    for (const std::string& line : model_.periods())
        ListBox1->addItem(fromCp1252(line));
    updating_ = false;
}

void TPlantillas::BitBtnContinuarClick() {
    // The run takes the results from the model, the same as after the close box.
    accept();
}

void TPlantillas::closeEvent(QCloseEvent* event) {
    QDialog::closeEvent(event);
}

void TPlantillas::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Draw3D4->setGeometry(rect());
}

void TPlantillas::keyPressEvent(QKeyEvent* event) {
    if (!showHelpForKey(this, event))
        QDialog::keyPressEvent(event);
}

} // namespace pelmira::app
