#pragma once

#include "dbf/dataset/tz_data_link.h"

#include <array>
#include <functional>
#include <QWidget>
#include <set>

class QToolButton;
class TTzDataSource;
class TTzODbf;

enum TTzNavigateBtn {
    nbFirst,
    nbPrior,
    nbNext,
    nbLast,
    nbInsert,
    nbDelete,
    nbEdit,
    nbPost,
    nbCancel,
    nbRefresh,
    nbPack
};
using TTzButtonSet = std::set<TTzNavigateBtn>;

class TTzNavigator;
using TTzNavClickEvent = std::function<void(TTzNavigator* sender, TTzNavigateBtn Button)>;

// A row of buttons that move through a data source and act on its current
// record. The buttons follow the dataset: moving buttons are disabled at the
// ends, Delete on an empty table, the edit buttons by the edit state.
class TTzNavigator : public QWidget {
    Q_OBJECT
public:
    static constexpr int kButtonCount = nbPack + 1;

    explicit TTzNavigator(QWidget* parent = nullptr);
    ~TTzNavigator() override;

    TTzDataSource* DataSource() const { return m_link.DataSource(); }
    void setDataSource(TTzDataSource* source);

    const TTzButtonSet& VisibleButtons() const { return m_visible; }
    void setVisibleButtons(const TTzButtonSet& buttons);
    bool ConfirmDelete() const { return m_confirmDelete; }
    void setConfirmDelete(bool confirm) { m_confirmDelete = confirm; }
    bool ConfirmRestore() const { return m_confirmRestore; }
    void setConfirmRestore(bool confirm) { m_confirmRestore = confirm; }

    // Raised after a button's action.
    TTzNavClickEvent OnClick;

    // Performs a button's action as a click does.
    void BtnClick(TTzNavigateBtn button);
    QToolButton* Button(TTzNavigateBtn button) const { return m_buttons[size_t(button)]; }
    // The hint of a button.
    static QString Hint(TTzNavigateBtn button);

private:
    TTzODbf* table() const;
    void updateButtons();
    void deleteOrRestore();
    void pack();

    TTzDataLink m_link;
    std::array<QToolButton*, kButtonCount> m_buttons{};
    TTzButtonSet m_visible;
    bool m_confirmDelete = true;
    bool m_confirmRestore = true;
};
