#pragma once

#include <functional>
#include <QApplication>

namespace html_viewer {

// Processing on, the hourglass shown, for the length of a load.
class ProcessingScope {
public:
    explicit ProcessingScope(std::function<void(bool)> set) : m_set(std::move(set))
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_set(true);
    }
    ~ProcessingScope()
    {
        QApplication::restoreOverrideCursor();
        m_set(false);
    }
    ProcessingScope(const ProcessingScope&) = delete;
    ProcessingScope& operator=(const ProcessingScope&) = delete;

private:
    std::function<void(bool)> m_set;
};

} // namespace html_viewer
