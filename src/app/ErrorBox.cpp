#include "app/ErrorBox.h"

#include "app/EmbeddedHost.h"

#include <QMessageBox>
#include <QPushButton>
#include <exception>
#include <utility>

namespace pelmira::app {

namespace {

ErrorPresenter& presenter() {
    static ErrorPresenter current = showStandardErrorBox;
    return current;
}

} // namespace

QString errorBoxText(const std::string& message) {
    QString text = QString::fromStdString(message);
    // A non-ASCII last character is a multi-byte UTF-8 sequence: its code is above the full stop.
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        text += QLatin1Char('.');
    return text;
}

void showStandardErrorBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Pelmira"), text, QMessageBox::NoButton,
                    dialogParent(parent));
    ownDialog(&box);
    box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
    box.exec();
}

ErrorPresenter setErrorPresenter(ErrorPresenter next) {
    ErrorPresenter previous = std::move(presenter());
    presenter() = next ? std::move(next) : ErrorPresenter(showStandardErrorBox);
    return previous;
}

void showError(QWidget* parent, const std::string& message) {
    presenter()(parent, errorBoxText(message));
}

bool guarded(QWidget* parent, const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const std::bad_alloc&) {
        showError(parent, "No hay memoria suficiente para completar la operación");
    } catch (const std::exception& e) {
        showError(parent, e.what());
    } catch (...) {
        showError(parent, "Error desconocido");
    }
    return false;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    guarded(activeWindow(), [&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace pelmira::app
