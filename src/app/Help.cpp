#include "app/Help.h"

#include "text/error.h"
#include "text/text.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QRegularExpression>
#include <QSplitter>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTreeWidget>
#include <QUrl>

#ifdef _WIN32
#include <windows.h>
#else
#include <chm_lib.h>
#endif

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>

namespace pelmira::app {

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool isPage(const std::string& path) {
    const std::string l = lower(path);
    return endsWith(l, ".htm") || endsWith(l, ".html");
}

[[noreturn]] void damaged(const std::string& path) {
    throw Error("El archivo de ayuda " + path +
                " está dañado o no es un archivo de ayuda HTML compilado (.chm)");
}

std::uint32_t readLe32(const QByteArray& bytes, qsizetype at) {
    auto b = [&](qsizetype i) { return std::uint32_t(static_cast<unsigned char>(bytes[at + i])); };
    return b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24);
}

QString htmlAttribute(const QString& attributes, const QString& name) {
    const QRegularExpression re(
        QStringLiteral("\\b%1\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))").arg(name),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(attributes);
    if (!m.hasMatch())
        return {};
    QString value = m.captured(1);
    if (value.isEmpty())
        value = m.captured(2);
    if (value.isEmpty())
        value = m.captured(3);
    if (value.contains(QLatin1Char('&')))
        value = QTextDocumentFragment::fromHtml(value).toPlainText();
    return value;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Links and pages

QString decodePage(const QByteArray& bytes) {
    const QByteArray head = bytes.left(2048).toLower();
    if (head.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    static const QRegularExpression utf8(QStringLiteral("charset\\s*=\\s*[\"']?utf-?8"));
    if (utf8.match(QString::fromLatin1(head)).hasMatch())
        return QString::fromUtf8(bytes);
    return QString::fromStdString(text::toUtf8(std::string_view(bytes.constData(), bytes.size())));
}

std::string objectPathForLink(const QString& link, const std::string& base) {
    QString l = link.trimmed();
    const qsizetype sep = l.indexOf(QStringLiteral("::"));
    if (sep >= 0)
        l = l.mid(sep + 2);
    l.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const qsizetype hash = l.indexOf(QLatin1Char('#'));
    if (hash >= 0)
        l.truncate(hash);
    std::string path = QUrl::fromPercentEncoding(l.toUtf8()).toStdString();
    if (path.empty())
        return base;
    if (path.front() != '/') {
        const std::size_t slash = base.rfind('/');
        path = (slash == std::string::npos ? std::string("/") : base.substr(0, slash + 1)) + path;
    }
    // Resolve "." and ".." segments.
    std::vector<std::string> parts;
    std::size_t pos = 1;
    while (pos <= path.size()) {
        std::size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        const std::string part = path.substr(pos, next - pos);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = next + 1;
    }
    std::string out;
    for (const std::string& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

// ---------------------------------------------------------------------------------------------
// ChmFile

#ifndef _WIN32
namespace {

int collectObject(chmFile*, chmUnitInfo* ui, void* context) {
    auto* objects = static_cast<std::vector<std::string>*>(context);
    objects->emplace_back(ui->path);
    return CHM_ENUMERATOR_CONTINUE;
}

} // namespace
#endif

ChmFile::ChmFile(const std::string& path) : path_(path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::u8path(path), ec))
        throw Error("No se encuentra el archivo de ayuda " + path);
#ifdef _WIN32
    damaged(path);
#else
    file_ = chm_open(path.c_str());
    if (!file_)
        damaged(path);
    if (!chm_enumerate(file_, CHM_ENUMERATE_ALL, collectObject, &objects_) || objects_.empty()) {
        chm_close(file_);
        file_ = nullptr;
        damaged(path);
    }
    try {
        readContextMap();
        readContents();
    } catch (...) {
        chm_close(file_);
        file_ = nullptr;
        throw;
    }
    if (firstTopic().empty()) {
        chm_close(file_);
        file_ = nullptr;
        damaged(path);
    }
#endif
}

ChmFile::~ChmFile() {
#ifndef _WIN32
    if (file_)
        chm_close(file_);
#endif
}

std::string ChmFile::find(const std::string& objectPath) const {
    const std::string wanted = lower(objectPath);
    for (const std::string& o : objects_)
        if (lower(o) == wanted)
            return o;
    return {};
}

std::optional<QByteArray> ChmFile::read(const std::string& objectPath) const {
#ifdef _WIN32
    (void)objectPath;
    return std::nullopt;
#else
    const std::string stored = find(objectPath);
    if (stored.empty() || !file_)
        return std::nullopt;
    chmUnitInfo ui;
    if (chm_resolve_object(file_, stored.c_str(), &ui) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    // A help file is small; a length beyond reason means a damaged directory.
    if (ui.length > 64ull * 1024 * 1024)
        return std::nullopt;
    QByteArray bytes(static_cast<qsizetype>(ui.length), Qt::Uninitialized);
    if (ui.length == 0)
        return bytes;
    const LONGINT64 got = chm_retrieve_object(
        file_, &ui, reinterpret_cast<unsigned char*>(bytes.data()), 0, LONGINT64(ui.length));
    if (got <= 0)
        return std::nullopt;
    bytes.truncate(static_cast<qsizetype>(got));
    return bytes;
#endif
}

void ChmFile::readContextMap() {
    const std::optional<QByteArray> ivb = read("/#IVB");
    const std::optional<QByteArray> strings = read("/#STRINGS");
    if (!ivb || !strings || ivb->size() < 4)
        return;
    // A length word, then pairs of context number and offset into #STRINGS.
    const qsizetype length = std::min<qsizetype>(readLe32(*ivb, 0), ivb->size() - 4);
    for (qsizetype at = 4; at + 8 <= 4 + length; at += 8) {
        const int context = static_cast<int>(readLe32(*ivb, at));
        const std::uint32_t offset = readLe32(*ivb, at + 4);
        if (offset >= std::uint32_t(strings->size()))
            continue;
        const char* s = strings->constData() + offset;
        const std::size_t n = strnlen(s, std::size_t(strings->size()) - offset);
        std::string name = lower(std::string(s, n));
        std::replace(name.begin(), name.end(), '\\', '/');
        // The compiler may record the topic with the path of the folder it was built in:
        // the topic is the object whose path the recorded name ends with.
        std::string best;
        for (const std::string& o : objects_) {
            const std::string lo = lower(o);
            if (lo.size() > 1 && (endsWith(name, lo) || "/" + name == lo) &&
                lo.size() > best.size())
                best = o;
        }
        if (!best.empty())
            contextMap_.emplace(context, best);
    }
}

void ChmFile::readContents() {
    std::string hhc;
    for (const std::string& o : objects_) {
        if (endsWith(lower(o), ".hhc") && o.find('/', 1) == std::string::npos) {
            hhc = o;
            break;
        }
    }
    if (hhc.empty())
        return;
    const std::optional<QByteArray> bytes = read(hhc);
    if (!bytes)
        return;
    const QString html = decodePage(*bytes);

    static const QRegularExpression tag(QStringLiteral("<\\s*(/?)\\s*(ul|object|param)\\b([^>]*)>"),
                                        QRegularExpression::CaseInsensitiveOption);
    std::vector<std::vector<ContentsEntry>*> levels{&contents_};
    std::optional<ContentsEntry> open;
    int ulDepth = 0;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const bool closing = !m.captured(1).isEmpty();
        const QString name = m.captured(2).toLower();
        const QString attributes = m.captured(3);
        if (name == QLatin1String("ul")) {
            if (!closing) {
                // The outermost list is the contents; a list inside it holds the children of
                // the entry before it.
                if (ulDepth > 0) {
                    std::vector<ContentsEntry>* current = levels.back();
                    levels.push_back(current->empty() ? current : &current->back().children);
                }
                ++ulDepth;
            } else if (ulDepth > 0) {
                --ulDepth;
                if (levels.size() > 1)
                    levels.pop_back();
            }
        } else if (name == QLatin1String("object")) {
            if (!closing) {
                if (htmlAttribute(attributes, QStringLiteral("type"))
                        .compare(QLatin1String("text/sitemap"), Qt::CaseInsensitive) == 0)
                    open = ContentsEntry{};
            } else if (open) {
                levels.back()->push_back(std::move(*open));
                open.reset();
            }
        } else if (name == QLatin1String("param") && open) {
            const QString key = htmlAttribute(attributes, QStringLiteral("name"));
            const QString value = htmlAttribute(attributes, QStringLiteral("value"));
            if (key.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0 &&
                open->name.isEmpty())
                open->name = value;
            else if (key.compare(QLatin1String("Local"), Qt::CaseInsensitive) == 0) {
                const std::string object = find(objectPathForLink(value, "/"));
                open->local = object.empty() ? objectPathForLink(value, "/") : object;
            }
        }
    }
}

std::string ChmFile::firstTopic() const {
    // Depth first, in the order of the contents.
    std::function<std::string(const std::vector<ContentsEntry>&)> first =
        [&](const std::vector<ContentsEntry>& entries) -> std::string {
        for (const ContentsEntry& e : entries) {
            if (!e.local.empty() && !find(e.local).empty())
                return e.local;
            std::string inner = first(e.children);
            if (!inner.empty())
                return inner;
        }
        return {};
    };
    std::string topic = first(contents_);
    if (!topic.empty())
        return topic;
    for (const std::string& o : objects_)
        if (isPage(o) && o.rfind("/#", 0) != 0 && o.rfind("/$", 0) != 0)
            return o;
    return {};
}

std::string ChmFile::topicFor(int context) const {
    auto it = contextMap_.find(context);
    return it == contextMap_.end() ? std::string() : it->second;
}

// ---------------------------------------------------------------------------------------------
// Viewer

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
        isPage(path))
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

// ---------------------------------------------------------------------------------------------
// HelpSystem

HelpSystem& HelpSystem::instance() {
    static HelpSystem help;
    return help;
}

void HelpSystem::setHelpFile(const QString& name) {
    helpFile_ = name;
}

std::string HelpSystem::resolvedPath() const {
    QString path = helpFile_;
    if (!path.contains(QLatin1Char('/')) && !path.contains(QLatin1Char('\\'))) {
        const QDir dir(QCoreApplication::applicationDirPath());
        path = dir.filePath(helpFile_);
        // Windows names ignore letter case: "itaca.CHM" serves as well.
        if (!QFileInfo::exists(path)) {
            const QStringList found = dir.entryList(QDir::Files);
            for (const QString& f : found) {
                if (f.compare(helpFile_, Qt::CaseInsensitive) == 0) {
                    path = dir.filePath(f);
                    break;
                }
            }
        }
    }
    return QDir::toNativeSeparators(path).toStdString();
}

HelpWindow* HelpSystem::openWindow(QWidget*) {
    const std::string path = resolvedPath();
    if (!QString::fromStdString(path).endsWith(QLatin1String(".chm"), Qt::CaseInsensitive))
        throw Error("El archivo de ayuda " + path +
                    " no es un archivo de ayuda HTML compilado (.chm)");
    auto file = std::make_shared<ChmFile>(path);
    if (!window_)
        window_ = new HelpWindow(nullptr);
    if (!window_->file() || window_->file()->path() != path)
        window_->setFile(std::move(file));
    return window_;
}

#ifdef _WIN32
namespace {

// HtmlHelpA of the system's help viewer; commands HH_DISPLAY_TOC and HH_HELP_CONTEXT.
bool htmlHelp(const std::string& path, unsigned command, DWORD_PTR data) {
    using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    static HMODULE library = LoadLibraryA("HHCtrl.ocx");
    if (!library)
        return false;
    auto fn = reinterpret_cast<HtmlHelpFn>(GetProcAddress(library, "HtmlHelpA"));
    if (!fn)
        return false;
    const std::string file = text::toCp1252(path);
    return fn(GetDesktopWindow(), file.c_str(), command, data) != nullptr;
}

} // namespace
#endif

void HelpSystem::showContents(QWidget* parent) {
#ifdef _WIN32
    (void)parent;
    const std::string path = resolvedPath();
    if (!QFileInfo::exists(QString::fromStdString(path)))
        throw Error("No se encuentra el archivo de ayuda " + path);
    if (!htmlHelp(path, 0x0001, 0))
        damaged(path);
#else
    openWindow(parent)->showContents();
#endif
}

void HelpSystem::showContext(int context, QWidget* parent) {
#ifdef _WIN32
    (void)parent;
    const std::string path = resolvedPath();
    if (!QFileInfo::exists(QString::fromStdString(path)))
        throw Error("No se encuentra el archivo de ayuda " + path);
    if (context == 0 || !htmlHelp(path, 0x000F, DWORD_PTR(context)))
        showContents(parent);
#else
    HelpWindow* w = openWindow(parent);
    const std::string topic = w->file()->topicFor(context);
    if (topic.empty())
        w->showContents();
    else
        w->showTopic(topic);
#endif
}

void HelpSystem::closeWindow() {
    if (window_)
        window_->close();
}

} // namespace pelmira::app
