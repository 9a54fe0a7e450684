#include "file_dialog.h"

#include <QFileDialog>

namespace {

struct TestHooks {
    std::deque<QString> paths;
    std::deque<FileDialog::Options> requests;
};

TestHooks& hooks()
{
    static TestHooks instance;
    return instance;
}

bool queued(const FileDialog::Options& options, QString* path)
{
    hooks().requests.push_back(options);
    if (hooks().paths.empty())
        return false;
    *path = hooks().paths.front();
    hooks().paths.pop_front();
    return true;
}

QString runDialog(QWidget* parent, const FileDialog::Options& options, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, options.title, options.folder, options.filter);
    dialog.setAcceptMode(mode);
    dialog.setOption(QFileDialog::DontUseNativeDialog, false);
    if (mode == QFileDialog::AcceptOpen)
        dialog.setFileMode(options.mustExist && !options.promptCreate ? QFileDialog::ExistingFile
                                                                      : QFileDialog::AnyFile);
    if (!options.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(options.defaultSuffix);
    if (!options.fileName.isEmpty())
        dialog.selectFile(options.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString FileDialog::open(QWidget* parent, const Options& options)
{
    QString path;
    if (queued(options, &path))
        return path;
    return runDialog(parent, options, QFileDialog::AcceptOpen);
}

QString FileDialog::save(QWidget* parent, const Options& options)
{
    QString path;
    if (queued(options, &path))
        return path;
    return runDialog(parent, options, QFileDialog::AcceptSave);
}

QString FileDialog::folder(QWidget* parent, const QString& title, const QString& start)
{
    Options options;
    options.title = title;
    options.folder = start;
    QString path;
    if (queued(options, &path))
        return path;
    return QFileDialog::getExistingDirectory(parent, title, start);
}

void FileDialog::queuePath(const QString& path)
{
    hooks().paths.push_back(path);
}

const std::deque<FileDialog::Options>& FileDialog::requests()
{
    return hooks().requests;
}

void FileDialog::clearRequests()
{
    hooks().requests.clear();
}
