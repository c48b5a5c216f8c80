#pragma once

// The one place where an error that leaves an event handler is shown: a message box titled
// "Pelmira" with the stop icon and one button. The program then waits for input again.

#include <QApplication>
#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace pelmira::app {

// The text shown for an error message (UTF-8): the message with a full stop appended, unless it
// is empty or already ends in a character whose code is at most that of the full stop.
QString errorBoxText(const std::string& message);

// Shows `message` as the error box does. Tests replace the presenter to record what is shown.
using ErrorPresenter = std::function<void(QWidget* parent, const QString& text)>;
void showError(QWidget* parent, const std::string& message);
ErrorPresenter setErrorPresenter(ErrorPresenter presenter); // returns the previous one
void showStandardErrorBox(QWidget* parent, const QString& text);

// Runs `handler`; a pelmira::Error or any other std::exception leaving it is shown in the error
// box. Returns false when the handler ended on an error.
bool guarded(QWidget* parent, const std::function<void()>& handler);

// The application object: an error that escapes an event handler that is not wrapped by
// guarded() is shown the same way instead of ending the program.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace pelmira::app
