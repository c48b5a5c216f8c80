// The host window of the embedded mode: the watch that notices when it goes away, the ownership
// of the dialogs by its top-level window, and the keyboard focus handed back after a dialog.

#include "app/EmbeddedHost.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>

namespace pelmira::app {

namespace {

EmbeddedHost* currentHost = nullptr;

// Set on an owned dialog from its Show event until its first frame.
constexpr const char* kPlacing = "pelmiraPlacing";

// The toolkit's connection to the X server, when the program runs on X11.
void* displayConnection() {
#if QT_CONFIG(xcb)
    if (auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        return x11->connection();
#endif
    return nullptr;
}

platform::NativeWindowId nativeId(QWidget* w) {
    return static_cast<platform::NativeWindowId>(w->winId());
}

} // namespace

EmbeddedHost::EmbeddedHost(platform::NativeWindowId host, QWidget* embedded)
    : QObject(embedded), host_(host), topLevel_(host), embedded_(embedded) {
    platform::setDisplayConnection(displayConnection());
    currentHost = this;
    topLevel_ = platform::topLevelWindow(host_);
    topLevelWindow_ = QWindow::fromWinId(static_cast<WId>(topLevel_));
    qApp->installEventFilter(this);
    // The host is watched only when it is there to begin with: for a handle that names no
    // window the platform decides what becomes of ours.
    if (platform::windowExists(host_)) {
        watch_ = new QTimer(this);
        watch_->setInterval(250);
        connect(watch_, &QTimer::timeout, this, &EmbeddedHost::check);
        watch_->start();
    }
}

EmbeddedHost::~EmbeddedHost() {
    if (currentHost == this)
        currentHost = nullptr;
    delete topLevelWindow_;
}

EmbeddedHost* EmbeddedHost::current() {
    return currentHost;
}

bool EmbeddedHost::isGone() {
    if (!lost_ && watch_)
        check();
    return lost_;
}

void EmbeddedHost::check() {
    if (lost_ || !embedded_)
        return;
    // Horvex closed its window, or ended, or destroyed ours.
    if (!platform::windowExists(host_) || !platform::windowExists(nativeId(embedded_)))
        lose();
}

void EmbeddedHost::lose() {
    lost_ = true;
    if (watch_)
        watch_->stop();
    closeDialogs();
    Q_EMIT gone();
}

void EmbeddedHost::closeDialogs() {
    // Menus that are open first, then every window of ours but the embedded one. A dialog's
    // modal loop returns once it is hidden.
    for (int i = 0; i < 8 && QApplication::activePopupWidget(); ++i)
        QApplication::activePopupWidget()->close();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (w == embedded_ || !w->isVisible())
            continue;
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
        else
            w->close();
    }
}

void EmbeddedHost::own(QWidget* dialog) {
    dialog->winId();
    if (QWindow* window = dialog->windowHandle())
        window->setTransientParent(topLevelWindow_);
    dialog->installEventFilter(this);
}

QWidget* EmbeddedHost::ownedDialog(QObject* watched) const {
    if (watched == embedded_ || !watched->isWidgetType())
        return nullptr;
    auto* w = static_cast<QWidget*>(watched);
    if (!w->isWindow() || !w->windowHandle() ||
        w->windowHandle()->transientParent() != topLevelWindow_)
        return nullptr;
    return w;
}

bool EmbeddedHost::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Resize:
        // Show is sent before the window is mapped: the place holds from the first frame. A
        // message box sets its size in its own handler of that Show, so a resize before the
        // first frame is placed again.
        if (QWidget* dialog = ownedDialog(watched)) {
            if (event->type() == QEvent::Show) {
                dialog->setProperty(kPlacing, true);
                QTimer::singleShot(0, dialog, [dialog] { dialog->setProperty(kPlacing, false); });
            }
            if (dialog->property(kPlacing).toBool())
                centre(dialog);
        }
        break;
    case QEvent::Hide:
        if (QWidget* dialog = ownedDialog(watched))
            focusAfter(dialog);
        break;
    case QEvent::MouseButtonPress:
        // X keeps the keyboard with the host until our window takes it.
        if (embedded_ && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == embedded_)
            platform::takeInputFocus(nativeId(embedded_));
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void EmbeddedHost::centre(QWidget* dialog) const {
    const std::optional<platform::ScreenRect> area = platform::windowGeometry(topLevel_);
    if (!area)
        return;
    // The system gives device pixels; Qt places windows in its own scaled pixels.
    const qreal ratio = dialog->devicePixelRatioF();
    const QRect host(qRound(area->x / ratio), qRound(area->y / ratio), qRound(area->width / ratio),
                     qRound(area->height / ratio));
    QRect placed(QPoint(), dialog->frameGeometry().size());
    placed.moveCenter(host.center());
    if (QScreen* screen = dialog->screen()) {
        // Wholly on the screen, the top left corner first.
        const QRect available = screen->availableGeometry();
        placed.moveRight(std::min(placed.right(), available.right()));
        placed.moveBottom(std::min(placed.bottom(), available.bottom()));
        placed.moveLeft(std::max(placed.left(), available.left()));
        placed.moveTop(std::max(placed.top(), available.top()));
    }
    dialog->move(placed.topLeft());
}

void EmbeddedHost::focusAfter(QWidget* closed) const {
    if (lost_ || !embedded_)
        return;
    // To the modal window under the one that closed, or else back to the embedded window. Once
    // the closing is done: Qt deactivates the closed window after its Hide.
    QPointer<QWidget> under = QApplication::activeModalWidget();
    if (under == closed)
        under = nullptr;
    QPointer<QWidget> embedded = embedded_;
    QTimer::singleShot(0, embedded_.data(), [under, embedded] {
        QWidget* target = under ? under.data() : embedded.data();
        if (!target || (!under && QApplication::activeModalWidget()))
            return;
        platform::takeInputFocus(nativeId(target));
        target->activateWindow();
        QApplication::setActiveWindow(target);
        if (QWidget* focus = target->focusWidget())
            focus->setFocus(Qt::ActiveWindowFocusReason);
    });
}

QWidget* dialogParent(QWidget* owner) {
    EmbeddedHost* host = EmbeddedHost::current();
    if (host && owner && owner->window() == host->parent())
        return nullptr;
    return owner;
}

void ownDialog(QWidget* dialog) {
    EmbeddedHost* host = EmbeddedHost::current();
    if (host && !dialog->parentWidget())
        host->own(dialog);
}

} // namespace pelmira::app
