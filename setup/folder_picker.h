#pragma once

#include <deque>
#include <QString>

class QWidget;

namespace setup {

// The folder picker. Tests queue the folder the next picker returns (an empty
// string stands for Cancel) instead of showing it.
class FolderPicker {
public:
    // Shows a picker for existing folders titled `title`, opened at `start`
    // (or at its nearest existing parent) when `start` is not empty. Returns
    // the chosen folder, or an empty string on Cancel.
    static QString pick(QWidget* parent, const QString& title, const QString& start);

    static void queueAnswer(const QString& folder);
    // The starting folder of every picker shown or answered, newest last.
    static const std::deque<QString>& requests();
    static void clearRequests();
};

} // namespace setup
