#include "html/viewer/html_viewer.h"

#include "base/ascii.h"
#include "html/common/text_util.h"
#include "html/document/form_control_obj.h"
#include "html/document/html_form.h"
#include "html/document/image_obj.h"
#include "html/document/section.h"
#include "html/document/section_list.h"
#include "html/document/url_target.h"
#include "html/images/builtin_bitmaps.h"
#include "html/images/gif_animation.h"
#include "html/images/image_cache.h"
#include "html/images/image_loader.h"
#include "html/parser/html_parser.h"
#include "html/viewer/document_walk.h"
#include "html/viewer/form_controls.h"
#include "html/viewer/paint_panel.h"
#include "html/viewer/url_to_local_path.h"
#include "platform/ansi.h"
#include "platform/exception.h"
#include "platform/posted_message.h"

#include <algorithm>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

namespace {

constexpr int kMaxExtensionLength = 5;

} // namespace

// ---- history ------------------------------------------------------------

void THTMLViewer::historyStep(const QString& oldFile, const std::string& oldTitle, int oldPosition,
                              int oldKind)
{
    if (m_historyMaxCount < 1 || m_currentFile.isEmpty())
        return;
    if (oldFile == m_currentFile && oldKind == m_docKind && oldPosition == Position())
        return;
    if (!m_history.isEmpty() && !oldFile.isEmpty()) {
        m_history[m_historyIndex] = oldFile;
        m_titleHistory[m_historyIndex] = oldTitle;
        m_positionHistory[m_historyIndex] = PositionObj{oldPosition, oldKind};
        // The entries ahead of the present one are the forward steps; a new
        // step drops them.
        m_history.erase(m_history.begin(), m_history.begin() + m_historyIndex);
        m_titleHistory.erase(m_titleHistory.begin(), m_titleHistory.begin() + m_historyIndex);
        m_positionHistory.erase(m_positionHistory.begin(),
                                m_positionHistory.begin() + m_historyIndex);
    }
    m_historyIndex = 0;
    m_history.insert(0, m_currentFile);
    m_positionHistory.insert(m_positionHistory.begin(), PositionObj{Position(), m_docKind});
    m_titleHistory.insert(m_titleHistory.begin(), DocumentTitle());
    if (m_history.size() > m_historyMaxCount) {
        m_history.removeAt(m_historyMaxCount);
        m_titleHistory.erase(m_titleHistory.begin() + m_historyMaxCount);
        m_positionHistory.erase(m_positionHistory.begin() + m_historyMaxCount);
    }
    if (OnHistoryChange)
        OnHistoryChange(this);
}

void THTMLViewer::setHistoryIndex(int index)
{
    if (index == m_historyIndex || index < 0 || index >= m_history.size() || m_processing)
        return;
    if (!m_currentFile.isEmpty()) {
        m_history[m_historyIndex] = m_currentFile;
        m_positionHistory[m_historyIndex] = PositionObj{Position(), m_docKind};
        m_titleHistory[m_historyIndex] = DocumentTitle();
    }
    const QString file = m_history[index];
    const PositionObj entry = m_positionHistory[index];
    if (file != m_currentFile || entry.FileType != m_docKind) {
        loadFile(file, entry.FileType);
        raiseMetaRefresh();
    }
    setPosition(entry.Pos);
    m_historyIndex = index;
    if (OnHistoryChange)
        OnHistoryChange(this);
}

void THTMLViewer::setHistoryMaxCount(int count)
{
    if (count < 0 || count == m_historyMaxCount)
        return;
    if (count < m_historyMaxCount)
        ClearHistory();
    m_historyMaxCount = count;
}

void THTMLViewer::ClearHistory()
{
    const bool had = !m_history.isEmpty();
    m_history.clear();
    m_titleHistory.clear();
    m_positionHistory.clear();
    m_historyIndex = 0;
    if (had && OnHistoryChange)
        OnHistoryChange(this);
}

// ---- links and visited --------------------------------------------------

QString THTMLViewer::expandLinkName(const std::string& link) const
{
    QString s = UrlToLocalPath(platform::fromAnsi(base::trimmed(link)));
    if (s.startsWith(QLatin1Char('/')) && !m_serverRoot.isEmpty())
        s = m_serverRoot + s;
    if (s.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(s);
    const std::string base = Base();
    const bool drive = s.size() > 1 && s[1] == QLatin1Char(':');
    if (drive || base::equalsIgnoreCase(base, "DosPath"))
        return QFileInfo(s).absoluteFilePath();
    QString folder;
    if (!base.empty()) {
        folder = UrlToLocalPath(platform::fromAnsi(base));
        folder = folder.left(folder.lastIndexOf(QLatin1Char('/')) + 1);
    }
    if (folder.isEmpty())
        folder =
            m_currentFile.isEmpty() ? QDir::currentPath() : QFileInfo(m_currentFile).absolutePath();
    return QDir::cleanPath(QDir(folder).absoluteFilePath(s));
}

QString THTMLViewer::expandedUrl(const TUrlTarget& link) const
{
    if (!link.Url.empty() && link.Url.front() == '#')
        return m_currentFile + platform::fromAnsi(link.Url);
    const std::size_t hash = link.Url.find('#');
    const std::string name = link.Url.substr(0, hash);
    const std::string anchor = hash == std::string::npos ? std::string() : link.Url.substr(hash);
    return expandLinkName(name) + platform::fromAnsi(anchor);
}

void THTMLViewer::addVisited(const QString& url)
{
    if (m_visitedMaxCount == 0 || (!m_visited.isEmpty() && m_visited.front() == url))
        return;
    const int at = m_visited.indexOf(url);
    if (at < 0) {
        for (const auto& link : m_doc->Links)
            if (expandedUrl(*link).compare(url, Qt::CaseInsensitive) == 0)
                link->Visited = true;
        m_visited.insert(0, url);
    } else {
        m_visited.move(at, 0);
    }
    while (m_visited.size() > m_visitedMaxCount)
        m_visited.removeLast();
    m_panel->update();
}

void THTMLViewer::markVisited()
{
    if (m_visited.isEmpty())
        return;
    for (const auto& link : m_doc->Links) {
        const QString url = expandedUrl(*link);
        for (const QString& v : m_visited)
            if (v.compare(url, Qt::CaseInsensitive) == 0) {
                link->Visited = true;
                break;
            }
    }
}

void THTMLViewer::setVisitedMaxCount(int count)
{
    m_visitedMaxCount = std::max(0, count);
    while (m_visited.size() > m_visitedMaxCount)
        m_visited.removeLast();
}

bool THTMLViewer::JumpToAnchor(const std::string& Name)
{
    std::string name = Name;
    if (!name.empty() && name.front() == '#')
        name.erase(0, 1);
    const int y = m_doc->AnchorPosition(base::toUpper(name));
    if (y < 0)
        return false;
    scrollTo(y + m_marginHeight, 0);
    addVisited(m_currentFile + QLatin1Char('#') + platform::fromAnsi(name));
    return true;
}

void THTMLViewer::linkClick(const std::string& url, const std::string& target)
{
    m_linkUrl = url;
    m_linkTarget = target;
    bool handled = false;
    if (OnHotSpotClick)
        OnHotSpotClick(this, url, handled);
    if (handled)
        return;
    if (!url.empty() && url.front() == '#') {
        const int before = Position();
        if (JumpToAnchor(url)) {
            historyStep(m_currentFile, DocumentTitle(), before, m_docKind);
            addVisited(m_currentFile + platform::fromAnsi(url));
        }
        return;
    }
    const std::size_t hash = url.find('#');
    const std::string name = url.substr(0, hash);
    const std::string anchor = hash == std::string::npos ? std::string() : url.substr(hash);
    const QString expanded = expandLinkName(name);
    const int dot = expanded.lastIndexOf(QLatin1Char('.'));
    const int slash = expanded.lastIndexOf(QLatin1Char('/'));
    const QString ext =
        dot > slash ? expanded.mid(dot).toUpper().left(kMaxExtensionLength) : QString();
    if (ext != QLatin1String(".HTM") && ext != QLatin1String(".HTML")) {
        static const QStringList kImages = {".BMP", ".GIF", ".JPG", ".JPEG", ".PNG"};
        if (kImages.contains(ext))
            LoadImageFile(expanded);
        return;
    }
    const QString full = expanded + platform::fromAnsi(anchor);
    if (expanded != m_currentFile) {
        LoadFromFile(full);
        addVisited(full);
    } else {
        const int before = Position();
        if (JumpToAnchor(anchor)) {
            historyStep(m_currentFile, DocumentTitle(), before, HTMLType);
            addVisited(full);
        }
    }
}
