#include "app/MainForm.h"

#include "app/EmbeddedHost.h"
#include "app/ErrorBox.h"
#include "app/FormKit.h"
#include "app/GradientPanel.h"
#include "app/Help.h"
#include "app/HorvexIni.h"
#include "app/QtInteraction.h"
#include "export/export_run.h"
#include "import/import_run.h"
#include "text/text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <string>

namespace pelmira::app {

namespace {

QString fromCp1252(const std::string& s) {
    return QString::fromStdString(text::toUtf8(s));
}
std::string toCp1252(const QString& s) {
    return text::toCp1252(s.toStdString());
}

} // namespace

TMForm::TMForm(Options options, QWidget* parent) : QWidget(parent), options_(std::move(options)) {
    buildWindow();
    FormCreate();
}

TMForm::~TMForm() {
    if (host_) {
        // The host QWindow would take our native window with it; let go of it first.
        if (QWindow* own = windowHandle())
            own->setParent(nullptr);
        delete host_;
    }
}

void TMForm::buildWindow() {
    setObjectName(QStringLiteral("MForm"));
    setWindowTitle(QStringLiteral("Exportar e importar datos entre Horvex e ITACA"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(formFont());
    setFixedSize(632, 266);
    move(194, 167);
    setHelpContext(this, 1);

    // Created in stacking order: the bottom panel lowest, the import panel on top.
    Draw3D1 = new GradientPanel(QColor(194, 205, 254), QColor(207, 242, 254), QColor(204, 216, 230),
                                this);
    Draw3D1->setObjectName(QStringLiteral("Draw3D1"));
    Draw3D1->setGeometry(0, 168, 633, 97);
    setHelpContext(Draw3D1, 3);

    Draw3D2 = new GradientPanel(QColor(249, 211, 125), Qt::white, QColor(255, 238, 221), this);
    Draw3D2->setObjectName(QStringLiteral("Draw3D2"));
    Draw3D2->setGeometry(0, 0, 315, 169);
    setHelpContext(Draw3D2, 3);

    Draw3D3 = new GradientPanel(QColor(249, 211, 125), Qt::white, QColor(255, 238, 221), this);
    Draw3D3->setObjectName(QStringLiteral("Draw3D3"));
    Draw3D3->setGeometry(316, 0, 317, 169);
    setHelpContext(Draw3D3, 3);

    // Export panel.
    Label3 =
        makeLabel(Draw3D2, "Label3", QStringLiteral("Transformar datos desde ITACA hacia Horvex "),
                  QRect(24, 24, 265, 57), true);
    Label3->setFont(storedFont(QStringLiteral("Arial"), 12, true));

    Label9 = makeLabel(Draw3D2, "Label9", QStringLiteral("Recoger Textos en:"), QPoint(6, 73));
    setTextColor(Label9, kRed);
    setBold(Label9);
    Label9->adjustSize();

    ComboBoxValCast = makeComboBox(Draw3D2, "ComboBoxValCast", QPoint(168, 68), 133);
    setBold(ComboBoxValCast);
    ComboBoxValCast->addItem(fromCp1252(std::string(text::kValencian)));
    ComboBoxValCast->addItem(fromCp1252(std::string(text::kCastilian)));
    ComboBoxValCast->setEditText(fromCp1252(std::string(text::kValencian)));
    setHelpContext(ComboBoxValCast, 1);

    BExportar =
        makeConfirmButton(Draw3D2, "BExportar", QStringLiteral("Aceptar"), QRect(96, 120, 89, 25));
    setHelpContext(BExportar, 3);

    // Import panel.
    Label4 =
        makeLabel(Draw3D3, "Label4", QStringLiteral("Transformar datos desde Horvex hacia ITACA"),
                  QRect(8, 24, 305, 57), true);
    Label4->setFont(storedFont(QStringLiteral("Arial"), 12, true));

    BImportar =
        makeConfirmButton(Draw3D3, "BImportar", QStringLiteral("Aceptar"), QRect(96, 120, 89, 25));
    setHelpContext(BImportar, 3);

    // Bottom panel.
    Label1 = makeLabel(Draw3D1, "Label1", QStringLiteral("Pelmira para RX30 V-1.1"), QPoint(8, 72));
    setTextColor(Label1, kRed);
    setBold(Label1);
    Label1->adjustSize();

    BClose = makeCloseButton(Draw3D1, "BClose", QStringLiteral("&Salir"), QRect(256, 32, 89, 25));
    setHelpContext(BClose, 3);

    Button1 = new QPushButton(QStringLiteral("F1 Ayuda"), Draw3D1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(48, 40, 75, 25);
    setHelpContext(Button1, 1);

    ListBoxPlanti = new QListWidget(Draw3D1);
    ListBoxPlanti->setObjectName(QStringLiteral("ListBoxPlanti"));
    ListBoxPlanti->setGeometry(576, 4, 49, 29);
    setTextColor(ListBoxPlanti, kBlue);
    setBold(ListBoxPlanti);
    ListBoxPlanti->hide();

    connect(BExportar, &QPushButton::clicked, this, &TMForm::BExportarClick);
    connect(BImportar, &QPushButton::clicked, this, &TMForm::BImportarClick);
    connect(Button1, &QPushButton::clicked, this, &TMForm::Button1Click);
    connect(BClose, &QPushButton::clicked, this, &QWidget::close);
}

void TMForm::FormCreate() {
    state_.transferResult = 0;
    startMode_ = parseStartMode(options_.params);
    if (startMode_.error) {
        // The window then comes up stand-alone.
        showError(this, *startMode_.error);
    }
    state_.embedded = startMode_.embedded();
    if (startMode_.embedded()) {
        embedInto(startMode_.hostWindow);
        if (startMode_.panel == RunPanel::Import) {
            Draw3D2->hide();
            fillClientArea(Draw3D3);
        } else if (startMode_.panel == RunPanel::Export) {
            Draw3D3->hide();
            fillClientArea(Draw3D2);
        }
    }
}

void TMForm::embedInto(std::uint32_t handle) {
    // No border and no caption, at the top left corner of the host's client area. The native
    // window gets its parent before it is first shown: a window manager undoes a reparenting of
    // a window that is already mapped.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    move(0, 0);
    winId();
    host_ = QWindow::fromWinId(static_cast<WId>(handle));
    if (host_ && windowHandle()) {
        windowHandle()->setParent(host_);
        windowHandle()->setPosition(0, 0);
        auto* host = new EmbeddedHost(handle, this);
        connect(host, &EmbeddedHost::gone, this, &TMForm::hostGone);
    }
}

void TMForm::fillClientArea(GradientPanel* panel) {
    filling_ = panel;
    panel->setGeometry(rect());
    panel->raise();
    // The bottom panel is covered: its controls must not take the focus or their shortcuts
    // (Alt+S would close the window) while nobody can see them.
    Draw3D1->hide();
}

void TMForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (filling_)
        filling_->setGeometry(rect());
}

void TMForm::hostGone() {
    // Horvex closed its window, or ended, or destroyed ours: close as if it had closed ours. A
    // run under way is abandoned first: its dialogs are closed already, and the dialog it waits
    // in ends it with RunAbandoned, after which the handler closes the window. Should it not come
    // back, the window closes all the same.
    if (!running_) {
        close();
        return;
    }
    QTimer::singleShot(1000, this, [this] {
        if (isVisible())
            close();
    });
}

std::filesystem::path TMForm::iniPath() const {
    if (options_.iniPath)
        return *options_.iniPath;
    const QString dir = QCoreApplication::applicationDirPath();
    return std::filesystem::path(dir.toStdU16String()) / "Horvex.ini";
}

worktables::WorkFolder TMForm::workFolder() const {
    return options_.workFolder ? *options_.workFolder : worktables::WorkFolder::standard();
}

void TMForm::setInteractionFactory(InteractionFactory factory) {
    options_.interactionFactory = std::move(factory);
}

std::unique_ptr<run::Interaction> TMForm::makeStandardInteraction() {
    auto ui = std::make_unique<QtInteraction>(this);
    ui->setInitialFile(state_.xmlFileName);
    return ui;
}

void TMForm::runWindowed(const std::function<run::RunOutcome(run::Interaction&)>& run) {
    state_.language = toCp1252(ComboBoxValCast->currentText());
    std::unique_ptr<run::Interaction> ui = options_.interactionFactory
                                               ? options_.interactionFactory(*this)
                                               : makeStandardInteraction();

    // What the chooser handed back shows in the window whether the run completes or not.
    struct ShowState {
        TMForm& form;
        ~ShowState() {
            form.ComboBoxValCast->setEditText(fromCp1252(form.state_.language));
            form.ListBoxPlanti->clear();
            for (const std::string& line : form.state_.periodList)
                form.ListBoxPlanti->addItem(fromCp1252(line));
        }
    } showState{*this};

    struct Running {
        bool& flag;
        explicit Running(bool& f) : flag(f) { flag = true; }
        ~Running() { flag = false; }
    } running{running_};

    run::RunOutcome outcome;
    try {
        outcome = run(*ui);
    } catch (const RunAbandoned&) {
        // The host went away during the run: what the steps before wrote stays, Horvex.ini
        // receives what TransferResult holds, and the program ends.
        close();
        return;
    }
    if (outcome == run::RunOutcome::Completed) {
        BExportar->setEnabled(false);
        BImportar->setEnabled(false);
    }
    if (startMode_.embedded())
        close();
}

void TMForm::BExportarClick() {
    guarded(this, [this] {
        runWindowed([this](run::Interaction& ui) {
            return exporting::ExportRun(state_, exportState_, ui, workFolder()).run();
        });
    });
}

void TMForm::BImportarClick() {
    guarded(this, [this] {
        runWindowed([this](run::Interaction& ui) {
            return importing::ImportRun(state_, ui, workFolder()).run();
        });
    });
}

void TMForm::Button1Click() {
    guarded(this, [this] {
        HelpSystem& help = HelpSystem::instance();
        help.setHelpFile(options_.helpFile);
        help.showContents(this);
    });
}

void TMForm::keyPressEvent(QKeyEvent* event) {
    if (!showHelpForKey(this, event))
        QWidget::keyPressEvent(event);
}

void TMForm::closeEvent(QCloseEvent* event) {
    if (startMode_.embedded()) {
        // The window closes whether or not the file could be written.
        guarded(this, [this] {
            writeIniValue(iniPath(), "Transformadores", "Transformado",
                          std::to_string(state_.transferResult));
        });
    }
    event->accept();
    HelpSystem::instance().closeWindow();
    if (startMode_.embedded() && host_) {
        // Not a top-level window: closing it does not end the event loop by itself.
        QCoreApplication::quit();
    }
}

} // namespace pelmira::app
