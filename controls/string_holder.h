#pragma once

#include <QObject>
#include <string>
#include <vector>

// A non-visual component that only holds a list of 8-bit text lines, loaded
// with its window: the built-in help pages and the default engines list.
class TStringHolder : public QObject {
    Q_OBJECT
public:
    explicit TStringHolder(QObject* owner = nullptr) : QObject(owner) {}
    TStringHolder(std::vector<std::string> lines, QObject* owner = nullptr)
        : QObject(owner), m_strings(std::move(lines))
    {
    }

    const std::vector<std::string>& Strings() const { return m_strings; }
    // Assigning copies the lines.
    void setStrings(const std::vector<std::string>& lines) { m_strings = lines; }

private:
    std::vector<std::string> m_strings;
};
