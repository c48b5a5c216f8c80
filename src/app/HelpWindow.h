#pragma once

// The help viewer of our own: a window with the contents of a compiled help file as a tree and
// its pages in a browser that reads them straight from the file. It stays usable while a modal
// window of the program is open, as a help window must be (F1 in the chooser).

#include "app/ChmFile.h"

#include <QTextBrowser>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace pelmira::app {

class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit HelpBrowser(QWidget* parent = nullptr);
    void setFile(std::shared_ptr<ChmFile> file) { file_ = std::move(file); }
    void showTopic(const std::string& objectPath);
    std::string currentTopic() const;
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void followLink(const QUrl& url);
    std::shared_ptr<ChmFile> file_;
};

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    void setFile(std::shared_ptr<ChmFile> file);
    void showContents();
    void showTopic(const std::string& objectPath);

    const ChmFile* file() const { return file_.get(); }
    HelpBrowser* browser() const { return browser_; }
    QTreeWidget* contentsTree() const { return tree_; }
    // Whether a modal window of the program keeps the user from this one.
    bool isBlocked() const { return blocked_; }

protected:
    bool event(QEvent* event) override;

private:
    void addEntries(QTreeWidgetItem* parent, const std::vector<ContentsEntry>& entries);
    void selectTopic(const std::string& objectPath);
    void joinModalWindow();

    std::shared_ptr<ChmFile> file_;
    QTreeWidget* tree_ = nullptr;
    HelpBrowser* browser_ = nullptr;
    bool blocked_ = false;
};

} // namespace pelmira::app
