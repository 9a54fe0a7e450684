#pragma once

#include "html/document/form_control_obj.h"

#include <string>
#include <vector>

// A form field drawn as a look-alike instead of a window control. Used when
// the document is rendered off screen (no viewer, no widgets); it sizes
// itself like the real control so that the page lays out the same.
class TDrawnFormControl : public TFormControlObj {
public:
    enum class Kind {
        Edit,
        Password,
        Hidden,
        Submit,
        Reset,
        Button,
        Image,
        CheckBox,
        Radio,
        ListBox,
        Combo,
        TextArea
    };

    static constexpr int kEditHeight = 20;
    static constexpr int kDefaultEditChars = 20;
    static constexpr int kCheckSize = 13;
    static constexpr int kRadioHeight = 14;
    static constexpr double kFieldPointSize = 10;
    static constexpr double kButtonPointSize = 8;
    static constexpr int kMaxAutoRows = 8;

    TDrawnFormControl(TSectionList* document, ThtmlForm* form, const TAttributeList& attributes,
                      Kind kind);

    void FitToCanvas(TFontCache& fonts) override;
    void PaintLook(QPainter& painter, int x, int y) override;
    bool TakesPlace() const override { return m_kind != Kind::Hidden && m_kind != Kind::Image; }
    void SetCaption(const std::string& caption) override { Caption = caption; }

    Kind ControlKind() const { return m_kind; }

    int Chars = kDefaultEditChars;
    bool Checked = false;
    std::vector<TSelectOption> Options;
    int Rows = -1;
    int Cols = 30;
    int Longest = 3;
    std::vector<std::string> Lines;
    // What a button shows; its Value unless the page gave a caption.
    std::string Caption;

private:
    Kind m_kind;
    std::string m_fieldFont;
    const TFontMetrics* m_field = nullptr;
    const TFontMetrics* m_button = nullptr;
};

// Makes drawn look-alike controls.
class TDrawnControlFactory : public TFormControlFactory {
public:
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
};
