// The help viewer of our own: the contents tree and the page browser over a ChmFile, and the
// window that holds them.

#include "app/HelpWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QSplitter>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>

namespace pelmira::app {

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    setObjectName(QStringLiteral("HelpBrowser"));
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &HelpBrowser::followLink);
}

void HelpBrowser::showTopic(const std::string& objectPath) {
    QUrl url;
    url.setScheme(QStringLiteral("chm"));
    url.setPath(QString::fromStdString(objectPath));
    setSource(url);
}

std::string HelpBrowser::currentTopic() const {
    return source().path().toStdString();
}

void HelpBrowser::followLink(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
        scheme == QLatin1String("mailto")) {
        QDesktopServices::openUrl(url);
        return;
    }
    if (url.toString().startsWith(QLatin1Char('#'))) {
        scrollToAnchor(url.fragment());
        return;
    }
    const std::string path = objectPathForLink(url.toString(), currentTopic());
    QUrl target;
    target.setScheme(QStringLiteral("chm"));
    target.setPath(QString::fromStdString(path));
    if (url.hasFragment())
        target.setFragment(url.fragment());
    setSource(target);
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    if (!file_)
        return {};
    const std::string path = objectPathForLink(name.path(), currentTopic());
    const std::optional<QByteArray> bytes = file_->read(path);
    if (!bytes)
        return {};
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource ||
        isPagePath(path))
        return decodePage(*bytes);
    return *bytes;
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(this);
    tree_ = new QTreeWidget(splitter);
    tree_->setObjectName(QStringLiteral("HelpContents"));
    tree_->setHeaderHidden(true);
    browser_ = new HelpBrowser(splitter);
    splitter->addWidget(tree_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 540});
    layout->addWidget(splitter);
    resize(780, 540);
    connect(tree_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const std::string local = item->data(0, Qt::UserRole).toString().toStdString();
        if (!local.empty())
            browser_->showTopic(local);
    });
    connect(tree_, &QTreeWidget::itemClicked, tree_, &QTreeWidget::itemActivated);
}

void HelpWindow::setFile(std::shared_ptr<ChmFile> file) {
    file_ = std::move(file);
    browser_->setFile(file_);
    tree_->clear();
    addEntries(nullptr, file_->contents());
    tree_->expandAll();
    setWindowTitle(QStringLiteral("Ayuda - %1")
                       .arg(QFileInfo(QString::fromStdString(file_->path())).fileName()));
}

void HelpWindow::addEntries(QTreeWidgetItem* parent, const std::vector<ContentsEntry>& entries) {
    for (const ContentsEntry& e : entries) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
        item->setText(0, e.name);
        item->setData(0, Qt::UserRole, QString::fromStdString(e.local));
        addEntries(item, e.children);
    }
}

void HelpWindow::showContents() {
    showTopic(file_->firstTopic());
}

void HelpWindow::showTopic(const std::string& objectPath) {
    browser_->showTopic(objectPath);
    selectTopic(objectPath);
    show();
    raise();
    activateWindow();
}

void HelpWindow::selectTopic(const std::string& objectPath) {
    const QString wanted = QString::fromStdString(objectPath);
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toString().compare(wanted, Qt::CaseInsensitive) == 0) {
            tree_->setCurrentItem(*it);
            return;
        }
    }
    tree_->setCurrentItem(nullptr);
}

bool HelpWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowBlocked) {
        blocked_ = true;
        // Qt blocks every window that is not the modal one or a window of its own. The help
        // joins the modal window once the blocking is done (not from inside it).
        QTimer::singleShot(0, this, &HelpWindow::joinModalWindow);
    } else if (event->type() == QEvent::WindowUnblocked) {
        blocked_ = false;
    }
    return QWidget::event(event);
}

void HelpWindow::joinModalWindow() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!blocked_ || !modal || modal == this || !windowHandle() || !modal->windowHandle())
        return;
    // A window transient for the modal one counts as one of its own: input reaches it again.
    windowHandle()->setTransientParent(modal->windowHandle());
}

} // namespace pelmira::app
