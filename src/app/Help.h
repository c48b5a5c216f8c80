#pragma once

// Help: the compiled HTML help file "ITACA.chm" beside the executable, shown at its table of
// contents or at the topic of a help context number. On Windows the system's HTML help viewer
// shows it; elsewhere a small viewer of our own reads the file with chmlib.

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QTextBrowser>
#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;
struct chmFile;

namespace pelmira::app {

// One entry of the contents (.hhc) file.
struct ContentsEntry {
    QString name;
    std::string local; // object path inside the file, "/topic.html"; empty for a heading
    std::vector<ContentsEntry> children;
};

// A .chm file opened read-only. Paths of objects begin with "/".
class ChmFile {
public:
    // Throws pelmira::Error when the file is missing or is not a readable compiled help file.
    explicit ChmFile(const std::string& path);
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    const std::string& path() const { return path_; }
    const std::vector<std::string>& objects() const { return objects_; }

    // The object of that path, compared without regard to letter case.
    std::optional<QByteArray> read(const std::string& objectPath) const;
    // The stored path of the object named (case as stored), or empty.
    std::string find(const std::string& objectPath) const;

    const std::vector<ContentsEntry>& contents() const { return contents_; }
    // The topic shown with the contents: the first topic of the contents, else the first page.
    std::string firstTopic() const;
    // The topic of a help context number ([MAP] and [ALIAS] of the project), or empty.
    std::string topicFor(int context) const;
    const std::map<int, std::string>& contextMap() const { return contextMap_; }

private:
    void readContextMap();
    void readContents();

    std::string path_;
    chmFile* file_ = nullptr;
    std::vector<std::string> objects_;
    std::map<int, std::string> contextMap_;
    std::vector<ContentsEntry> contents_;
};

// Decodes a page: UTF-8 when it says so, else Windows-1252 (the help compiler's code page).
QString decodePage(const QByteArray& bytes);

// Object path that a link inside the help names ("ms-its:x.chm::/a.html", "/a.html", "a.html"),
// relative links resolved against `base`.
std::string objectPathForLink(const QString& link, const std::string& base);

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

private:
    void addEntries(QTreeWidgetItem* parent, const std::vector<ContentsEntry>& entries);
    void selectTopic(const std::string& objectPath);

    std::shared_ptr<ChmFile> file_;
    QTreeWidget* tree_ = nullptr;
    HelpBrowser* browser_ = nullptr;
};

// The application's help: its help file and the requests to show it.
class HelpSystem {
public:
    static HelpSystem& instance();

    // A name without a folder is looked up in the executable's folder.
    void setHelpFile(const QString& name);
    QString helpFile() const { return helpFile_; }
    std::string resolvedPath() const;

    // Both throw pelmira::Error with a message for the user when the file cannot be shown.
    void showContents(QWidget* parent = nullptr);
    // A number that names no topic shows the contents.
    void showContext(int context, QWidget* parent = nullptr);

    // Our own viewer (off Windows), once a request has opened it.
    HelpWindow* window() const { return window_; }
    void closeWindow();

private:
    HelpWindow* openWindow(QWidget* parent);

    QString helpFile_ = QStringLiteral("ITACA.chm");
    QPointer<HelpWindow> window_;
};

} // namespace pelmira::app
