#include "setup/folder_picker.h"

#include <QFileDialog>
#include <QFileInfo>

namespace setup {

namespace {

struct TestHooks {
    std::deque<QString> answers;
    std::deque<QString> requests;
};

TestHooks& hooks()
{
    static TestHooks instance;
    return instance;
}

// The proposed installation folder usually does not exist yet; the picker
// then opens at the closest folder that does.
QString existingFolder(const QString& path)
{
    if (path.isEmpty())
        return {};
    QFileInfo info(path);
    while (!info.isDir()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            return {};
        info = QFileInfo(parent);
    }
    return info.absoluteFilePath();
}

} // namespace

QString FolderPicker::pick(QWidget* parent, const QString& title, const QString& start)
{
    TestHooks& h = hooks();
    h.requests.push_back(start);
    if (!h.answers.empty()) {
        QString answer = h.answers.front();
        h.answers.pop_front();
        return answer;
    }
    return QFileDialog::getExistingDirectory(parent, title, existingFolder(start),
                                             QFileDialog::ShowDirsOnly);
}

void FolderPicker::queueAnswer(const QString& folder)
{
    hooks().answers.push_back(folder);
}

const std::deque<QString>& FolderPicker::requests()
{
    return hooks().requests;
}

void FolderPicker::clearRequests()
{
    hooks().requests.clear();
}

} // namespace setup
