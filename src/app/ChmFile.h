#pragma once

// The compiled HTML help reader: a .chm file opened read-only through chmlib, with its objects,
// its table of contents (.hhc) and its map of help context numbers to topics; and the rules by
// which the help's links and pages are read. No windows here: the viewer is HelpWindow.

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>
#include <string>
#include <vector>

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
    void close();

    std::string path_;
    chmFile* file_ = nullptr;
    std::vector<std::string> objects_;
    std::map<int, std::string> contextMap_;
    std::vector<ContentsEntry> contents_;
};

// Throws the error for a file that is not a readable compiled help file.
[[noreturn]] void throwDamagedHelpFile(const std::string& path);

// Whether an object is a page (".htm" or ".html", any letter case).
bool isPagePath(const std::string& objectPath);

// Decodes a page: UTF-8 when it says so, else Windows-1252 (the help compiler's code page).
QString decodePage(const QByteArray& bytes);

// Object path that a link inside the help names ("ms-its:x.chm::/a.html", "/a.html", "a.html"),
// relative links resolved against `base`.
std::string objectPathForLink(const QString& link, const std::string& base);

} // namespace pelmira::app
