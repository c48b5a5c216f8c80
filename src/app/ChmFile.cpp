// The compiled HTML help reader: objects, contents and context map of a .chm file read through
// chmlib, and the decoding of its pages and links.

#include "app/ChmFile.h"

#include "text/error.h"
#include "text/text.h"

#include <QRegularExpression>
#include <QTextDocumentFragment>
#include <QUrl>
#include <algorithm>
#include <chm_lib.h>
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

void throwDamagedHelpFile(const std::string& path) {
    throw Error("El archivo de ayuda " + path +
                " está dañado o no es un archivo de ayuda HTML compilado (.chm)");
}

bool isPagePath(const std::string& objectPath) {
    const std::string l = lower(objectPath);
    return endsWith(l, ".htm") || endsWith(l, ".html");
}

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

// The file

namespace {

int collectObject(chmFile*, chmUnitInfo* ui, void* context) {
    auto* objects = static_cast<std::vector<std::string>*>(context);
    objects->emplace_back(ui->path);
    return CHM_ENUMERATOR_CONTINUE;
}

} // namespace

ChmFile::ChmFile(const std::string& path) : path_(path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::u8path(path), ec))
        throw Error("No se encuentra el archivo de ayuda " + path);
    file_ = chm_open(path.c_str());
    if (!file_)
        throwDamagedHelpFile(path);
    try {
        if (!chm_enumerate(file_, CHM_ENUMERATE_ALL, collectObject, &objects_) || objects_.empty())
            throwDamagedHelpFile(path);
        readContextMap();
        readContents();
        if (firstTopic().empty())
            throwDamagedHelpFile(path);
    } catch (...) {
        close();
        throw;
    }
}

ChmFile::~ChmFile() {
    close();
}

void ChmFile::close() {
    if (file_)
        chm_close(file_);
    file_ = nullptr;
}

std::string ChmFile::find(const std::string& objectPath) const {
    const std::string wanted = lower(objectPath);
    for (const std::string& o : objects_)
        if (lower(o) == wanted)
            return o;
    return {};
}

std::optional<QByteArray> ChmFile::read(const std::string& objectPath) const {
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
        if (isPagePath(o) && o.rfind("/#", 0) != 0 && o.rfind("/$", 0) != 0)
            return o;
    return {};
}

std::string ChmFile::topicFor(int context) const {
    auto it = contextMap_.find(context);
    return it == contextMap_.end() ? std::string() : it->second;
}

} // namespace pelmira::app
