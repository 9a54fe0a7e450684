#pragma once

#include <QString>
#include <vector>

class TTzDbf;

// The registry of every table component alive in the program, so that a
// table can be found by its component name.
class TTzSession {
public:
    static TTzSession& instance();

    const std::vector<TTzDbf*>& Tables() const { return m_tables; }
    TTzDbf* FindTable(const QString& name) const;

    void add(TTzDbf* table);
    void remove(TTzDbf* table);

private:
    std::vector<TTzDbf*> m_tables;
};
