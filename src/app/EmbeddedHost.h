#pragma once

// The Horvex window that holds the main window in embedded mode, as the program's windows meet
// it. It is watched: when it goes away (or takes our window with it), every dialog of the program
// is closed and gone() tells the main window. The dialogs belong to its top-level window: they are
// transient for it and centred on it, and when one closes the keyboard focus comes back to the
// embedded window, which X would otherwise leave with the host.

#include "platform/native_window.h"

#include <QObject>
#include <QPointer>

class QTimer;
class QWidget;
class QWindow;

namespace pelmira::app {

class EmbeddedHost : public QObject {
    Q_OBJECT

public:
    // `host`: the handle given on the command line; `embedded`: our window, already its child.
    EmbeddedHost(platform::NativeWindowId host, QWidget* embedded);
    ~EmbeddedHost() override;

    // The host of this program, or nullptr when it runs stand-alone.
    static EmbeddedHost* current();

    // Whether the host has gone away: known once it has, else looked at now.
    bool isGone();

    // Makes `dialog`, a window of ours without a parent widget, transient for the host's
    // top-level window and centred on it each time it is shown.
    void own(QWidget* dialog);

Q_SIGNALS:
    // The host went away; the program's dialogs are closed already.
    void gone();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void check();
    void lose();
    void closeDialogs();
    // `watched` when it is a dialog that the host owns, else nullptr.
    QWidget* ownedDialog(QObject* watched) const;
    void centre(QWidget* dialog) const;
    void focusAfter(QWidget* closed) const;

    platform::NativeWindowId host_;
    platform::NativeWindowId topLevel_;
    QPointer<QWidget> embedded_;
    QWindow* topLevelWindow_ = nullptr; // foreign: stands for the host's top-level window
    QTimer* watch_ = nullptr;
    bool lost_ = false;
};

// The parent widget for a dialog over `owner`: `owner` itself, except for the embedded window,
// whose dialogs get none (Qt cannot make a window transient for a child window) and are owned
// through ownDialog().
QWidget* dialogParent(QWidget* owner);

// A dialog created with dialogParent(): in embedded mode, one without a parent widget is owned by
// the host (EmbeddedHost::own); anything else stays as it is.
void ownDialog(QWidget* dialog);

} // namespace pelmira::app
