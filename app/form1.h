#pragma once

#include "platform/file_dialog.h"

#include <array>
#include <QMainWindow>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class TStringHolder;

// The main window. It lives for the whole run and owns what the other
// windows share: the engines list box with its file, the built-in pages, the
// temporary file and the flags of a submission. Every other window is made
// by its command, shown modally and destroyed when it closes.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // page: a file or file:// address from the command line, shown when the
    // window is first shown.
    explicit TForm1(QString page = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // Shared state.
    const QString& enginesFileName() const { return m_enginesFileName; }
    bool enginesModified() const { return m_enginesModified; }
    const QString& tempFileName() const { return m_tempFileName; }
    const QString& logFileName() const { return m_logFileName; }
    std::string siteAddress;
    bool submissionOpen = false;
    bool cancelRequested = false;

    // The engines list as it stands in the box.
    std::vector<std::string> enginesLines() const;
    // Adds a line at the end of the box; marks the list changed.
    void appendEngineLine(const std::string& line);

    TStringHolder* h1() const { return m_h1; }
    TStringHolder* h2() const { return m_h2; }
    TStringHolder* h3() const { return m_h3; }
    TStringHolder* engines() const { return m_engines; }

    // The profile file dialog as every command sets it up: starting in the
    // program folder, with the given title.
    enum class MissingProfile { Refuse, OfferToCreate };
    static FileDialog::Options profileDialogOptions(const QString& title, MissingProfile missing);

    // Command handlers.
    void Exit1Click();
    void openprofile();
    void Submit1Click();
    void Loadoptionsenginesfiles1Click();
    void Saveengines1Click();
    void SaveEnginesAs1Click();
    void Memo1Change();
    void Help1Click();
    void About1Click();
    void HistoryClick(int index);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    bool FormClose();

    void createHolders();
    QWidget* createToolBar();
    QWidget* createBottomPanel();
    void createMenus();
    void sizeToScreen();
    void loadStartupEngines();
    void setEnginesLines(const std::vector<std::string>& lines);
    void showEnginesCaption();

    QString m_page;
    bool m_shown = false;

    QString m_enginesFileName;
    bool m_enginesModified = false;
    QString m_tempFileName;
    QString m_logFileName;

    TStringHolder* m_h1 = nullptr;
    TStringHolder* m_h2 = nullptr;
    TStringHolder* m_h3 = nullptr;
    TStringHolder* m_engines = nullptr;

    QWidget* m_visor = nullptr;
    QSplitter* m_splitter = nullptr;
    QLabel* m_enginesCaption = nullptr;
    QPlainTextEdit* m_memo1 = nullptr;
    QWidget* m_submitButton = nullptr;
    QWidget* m_downloadButton = nullptr;
    QWidget* m_openLocalButton = nullptr;

    QMenu* m_historyMenu = nullptr;
    std::array<QAction*, 6> m_historyItems{};
    QAction* m_submit = nullptr;
    QAction* m_download = nullptr;
    QAction* m_openLocal = nullptr;
    QAction* m_programOptions = nullptr;
};
