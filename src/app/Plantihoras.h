#pragma once

// The time-template chooser window Plantillas. It shows a TemplateChooser and forwards the
// user's edits to it; the run takes the results from the model however the window is closed.

#include <QDialog>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace pelmira::itaca {
class TemplateChooser;
}

namespace pelmira::app {

class GradientPanel;

class TPlantillas : public QDialog {
    Q_OBJECT

public:
    explicit TPlantillas(itaca::TemplateChooser& model, QWidget* parent = nullptr);

    itaca::TemplateChooser& model() { return model_; }

public Q_SLOTS:
    void FormActivate();
    void ComboBoxPlantillaChange();
    void BitBtnContinuarClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override; // FormClose
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showModel(bool withCodes);

    itaca::TemplateChooser& model_;
    bool activated_ = false;
    bool updating_ = false;

    GradientPanel* Draw3D4 = nullptr;
    QLabel* Label9 = nullptr;
    QComboBox* ComboBoxValCast = nullptr;
    QLabel* LabelPlantillas = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboBoxPlantilla = nullptr;
    QListWidget* ListBox1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* LabelNombre = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* LabelTurno = nullptr;
    QPushButton* BitBtnContinuar = nullptr;
};

} // namespace pelmira::app
