#pragma once

#include "html/document/form_control_obj.h"

#include <QPointer>
#include <QRect>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class TFormHost;

// Form fields with real window controls, as the viewer shows them. Each kind
// owns its widget, a child of the viewer's drawing panel, and parks it off
// screen (Top = kParkedTop) until a paint places it; controls out of view
// are parked left of the panel (kParkedLeft). The widget dies with the
// control; it is hidden and released through the event loop, so that a
// control destroyed from inside one of its own widget's handlers (a click
// whose handler loads another page) leaves no dangling widget behind.
class TWidgetFormControlObj : public TFormControlObj {
public:
    static constexpr int kParkedTop = -400;
    static constexpr int kParkedLeft = -4000;
    static constexpr double kFieldPointSize = 10;
    static constexpr const char* kButtonFontName = "MS Sans Serif";
    static constexpr double kButtonPointSize = 8;

    TWidgetFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                          const TAttributeList& attributes);
    ~TWidgetFormControlObj() override;

    QWidget* WindowControl() const override { return m_widget; }
    // Draws a look-alike of the control in its present state (printing);
    // each kind draws its own, the base an empty field.
    void PaintLook(QPainter& painter, int x, int y) override;
    // Moves the widget to where the paint put the control and shows it.
    void Place(TPaintContext& ctx, int x, int y) override;

    // The widget that sits on the panel (the radio's panel for radios).
    QWidget* OuterWidget() const { return m_widget; }
    // Moves the widget out of view, left of the panel.
    void Park();
    // The control's box at (x, y).
    QRect Box(int x, int y) const { return QRect(x, y, m_width, m_height); }
    TFormHost& Host() const { return m_host; }

protected:
    // Whether a press in the widget reports a click, or the kind reports
    // its clicks itself once they are complete (buttons, boxes).
    enum class ClickReport { OnPress, ByKind };

    // Takes ownership of the control's widget (the outer one for radios)
    // and wires the focus and click reports; widgets that draw into a
    // viewport, and the radio inside its panel, report from `inner` too.
    void adopt(QWidget* widget, QWidget* inner = nullptr,
               ClickReport report = ClickReport::OnPress);
    // Remembers a connection to cut when the control dies.
    void track(QMetaObject::Connection connection) { m_connections.push_back(connection); }
    // The field font: the document's fixed-pitch font at 10 points.
    const TFontMetrics& fieldMetrics(TFontCache& fonts) const;
    void setSize(int width, int height);

    TFormHost& m_host;

private:
    QPointer<QWidget> m_widget;
    QObject* m_watcher = nullptr;
    std::vector<QMetaObject::Connection> m_connections;
};

// INPUT TYPE text, password, an unknown TYPE, or none.
class TEditFormControlObj : public TWidgetFormControlObj {
public:
    static constexpr int kDefaultChars = 20;
    static constexpr int kHeight = 20;

    TEditFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                        const TAttributeList& attributes, bool password);
    void ResetToInitial() override;
    bool SubmissionPair(int Index, std::string& S) override;
    void PaintLook(QPainter& painter, int x, int y) override;
    void FitToCanvas(TFontCache& fonts) override;

    QLineEdit* Edit() const { return m_edit; }
    int Chars = kDefaultChars;

private:
    QLineEdit* m_edit;
};

// INPUT TYPE hidden: no window control and no place in the text.
class THiddenFormControlObj : public TFormControlObj {
public:
    using TFormControlObj::TFormControlObj;
    bool SubmissionPair(int Index, std::string& S) override;
    bool TakesPlace() const override { return false; }
    void Place(TPaintContext&, int, int) override { Shown = true; }
};

// INPUT TYPE submit, reset or button.
class TButtonFormControlObj : public TWidgetFormControlObj {
public:
    enum ButtonKind { Submit = 0, Reset = 1, Plain = 2 };

    TButtonFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                          const TAttributeList& attributes, ButtonKind kind);
    void FitToCanvas(TFontCache& fonts) override;
    void PaintLook(QPainter& painter, int x, int y) override;
    void SetCaption(const std::string& caption) override;
    QPushButton* Button() const { return m_button; }
    ButtonKind Kind;

private:
    void clicked();
    QPushButton* m_button;
    std::string m_caption;
};

// INPUT TYPE image: the parser gives it an inline image; a click on that
// image submits the form with the position of the click.
class TImageFormControlObj : public TFormControlObj {
public:
    TImageFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                         const TAttributeList& attributes);
    bool SubmissionPair(int Index, std::string& S) override;
    bool TakesPlace() const override { return false; }
    void Place(TPaintContext&, int, int) override { Shown = true; }
    // A left-button release at (x, y) inside the image.
    void ImageClicked(int x, int y);

    int ClickX = -1; // -1 while no click is pending
    int ClickY = 0;
    // Last position inside the image the viewer's hit test found.
    int XTmp = 0;
    int YTmp = 0;

private:
    TFormHost& m_host;
};

// INPUT TYPE checkbox.
class TCheckBoxFormControlObj : public TWidgetFormControlObj {
public:
    static constexpr int kSize = 13;

    TCheckBoxFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                            const TAttributeList& attributes);
    void ResetToInitial() override;
    bool SubmissionPair(int Index, std::string& S) override;
    void PaintLook(QPainter& painter, int x, int y) override;
    void FitToCanvas(TFontCache& fonts) override;
    QCheckBox* CheckBox() const { return m_box; }
    bool InitialChecked = false;

private:
    QCheckBox* m_box;
};

// INPUT TYPE radio: a borderless panel of its own holding one radio button,
// so that the buttons never group by themselves; the form unchecks the
// others of the same name.
class TRadioButtonFormControlObj : public TWidgetFormControlObj {
public:
    static constexpr int kWidth = 13;
    static constexpr int kHeight = 14;

    TRadioButtonFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                               const TAttributeList& attributes);
    QWidget* WindowControl() const override;
    void ResetToInitial() override;
    bool SubmissionPair(int Index, std::string& S) override;
    void PaintLook(QPainter& painter, int x, int y) override;
    void FitToCanvas(TFontCache& fonts) override;
    QRadioButton* Radio() const { return m_radio; }
    bool InitialChecked = false;

private:
    QRadioButton* m_radio;
};

// SELECT with MULTIPLE or SIZE above 1 (a list box), and the base of the
// drop-down kind.
class TListBoxFormControlObj : public TWidgetFormControlObj {
public:
    static constexpr int kMaxAutoRows = 8;

    TListBoxFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                           const TAttributeList& attributes, std::vector<TSelectOption> options,
                           int longest);
    void ResetToInitial() override;
    bool SubmissionPair(int Index, std::string& S) override;
    void PaintLook(QPainter& painter, int x, int y) override;
    void FitToCanvas(TFontCache& fonts) override;
    QListWidget* List() const { return m_list; }

    std::vector<TSelectOption> Options;
    int Rows = -1; // -1: automatic
    int Longest = 3;
    bool Multiple = false;

protected:
    // For the drop-down kind, which replaces the list with its own widget.
    struct NoList {};
    TListBoxFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                           const TAttributeList& attributes, std::vector<TSelectOption> options,
                           int longest, NoList);
    // The pair of option i, or an empty text when it is not chosen.
    std::string optionPair(int i) const;

private:
    QListWidget* m_list = nullptr;
};

// Any other SELECT: a drop-down list.
class TComboFormControlObj : public TListBoxFormControlObj {
public:
    static constexpr int kExtraWidth = 30;

    TComboFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                         const TAttributeList& attributes, std::vector<TSelectOption> options,
                         int longest);
    void ResetToInitial() override;
    bool SubmissionPair(int Index, std::string& S) override;
    void PaintLook(QPainter& painter, int x, int y) override;
    void FitToCanvas(TFontCache& fonts) override;
    QComboBox* Combo() const { return m_combo; }

private:
    QComboBox* m_combo;
};

// TEXTAREA.
class TTextAreaFormControlObj : public TWidgetFormControlObj {
public:
    static constexpr int kDefaultRows = 5;
    static constexpr int kDefaultCols = 30;

    TTextAreaFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                            const TAttributeList& attributes, std::vector<std::string> lines);
    void ResetToInitial() override;
    bool SubmissionPair(int Index, std::string& S) override;
    void PaintLook(QPainter& painter, int x, int y) override;
    void FitToCanvas(TFontCache& fonts) override;
    QPlainTextEdit* Memo() const { return m_memo; }

    int Rows = kDefaultRows;
    int Cols = kDefaultCols;
    bool WordWrap = false;
    std::vector<std::string> TheText;

private:
    QPlainTextEdit* m_memo;
};

// Makes the window-control kinds above for one viewer.
class TWidgetControlFactory : public TFormControlFactory {
public:
    explicit TWidgetControlFactory(TFormHost& host) : m_host(host) {}
    std::unique_ptr<TFormControlObj> CreateInput(TSectionList* document, ThtmlForm* form,
                                                 const TAttributeList& attributes,
                                                 const std::string& type) override;
    std::unique_ptr<TFormControlObj> CreateSelect(TSectionList* document, ThtmlForm* form,
                                                  const TAttributeList& attributes,
                                                  std::vector<TSelectOption> options,
                                                  int longest) override;
    std::unique_ptr<TFormControlObj> CreateTextArea(TSectionList* document, ThtmlForm* form,
                                                    const TAttributeList& attributes,
                                                    std::vector<std::string> lines) override;

private:
    TFormHost& m_host;
};
