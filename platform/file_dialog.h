#pragma once

#include <deque>
#include <QString>

class QWidget;

// Common file dialogs of the program. Tests queue the path the next dialog
// returns (an empty string stands for Cancel) instead of showing it.
class FileDialog {
public:
    struct Options {
        QString title;
        QString filter;   // Qt filter text, e.g. "Text files (*.txt);;All files (*)"
        QString folder;   // starting folder
        QString fileName; // preset file name
        QString defaultSuffix;
        bool mustExist = true;     // open dialogs only
        bool promptCreate = false; // open dialogs: a missing file may be created
    };

    // Returns the chosen path or an empty string on Cancel.
    static QString open(QWidget* parent, const Options& options);
    static QString save(QWidget* parent, const Options& options);
    static QString folder(QWidget* parent, const QString& title, const QString& start);

    static void queuePath(const QString& path);
    // The options of every dialog shown or answered, newest last.
    static const std::deque<Options>& requests();
    static void clearRequests();
};
