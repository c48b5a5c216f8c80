#pragma once

// Helpers of the window tests: the error box recorded instead of shown, a scripted interaction
// that the test keeps while the window owns a forwarder to it, and modal boxes answered later.

#include "app/ErrorBox.h"
#include "run/interaction.h"
#include "support/scripted_interaction.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

namespace pelmira::testing {

// Records every error box while it lives.
class RecordedErrors {
public:
    RecordedErrors() {
        previous_ = app::setErrorPresenter(
            [this](QWidget*, const QString& text) { texts.push_back(text); });
    }
    ~RecordedErrors() { app::setErrorPresenter(previous_); }
    QStringList texts;

private:
    app::ErrorPresenter previous_;
};

class ForwardingInteraction : public run::Interaction {
public:
    explicit ForwardingInteraction(run::Interaction& to) : to_(to) {}
    std::optional<std::filesystem::path> pickXmlFile() override { return to_.pickXmlFile(); }
    void showChooser(itaca::TemplateChooser& c) override { to_.showChooser(c); }
    bool ask(Question q, const std::string& t) override { return to_.ask(q, t); }
    void message(const std::string& t) override { to_.message(t); }
    void setBusy(bool b) override { to_.setBusy(b); }

private:
    run::Interaction& to_;
};

template <class Form> auto forwardTo(run::Interaction& to) {
    return [&to](Form&) -> std::unique_ptr<run::Interaction> {
        return std::make_unique<ForwardingInteraction>(to);
    };
}

// Runs `act` on the next modal widget once it is up (polling, so that it works whatever the
// order of posted events). `act` must close the widget; it does no verification itself.
inline void whenModal(std::function<void(QWidget*)> act, int attempts = 200) {
    QTimer::singleShot(10, [act = std::move(act), attempts]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            if (attempts > 0)
                whenModal(std::move(act), attempts - 1);
            return;
        }
        act(modal);
    });
}

// The button of a message box with that text, or nullptr.
inline QAbstractButton* boxButton(QWidget* w, const QString& text) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box)
        return nullptr;
    for (QAbstractButton* b : box->buttons())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace pelmira::testing
