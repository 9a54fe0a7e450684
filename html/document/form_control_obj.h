#pragma once

#include "html/layout/layout_context.h"

#include <memory>
#include <string>
#include <vector>

class QWidget;
class TAttributeList;
class ThtmlForm;

// A form field of the document. The parser creates it through a
// TFormControlFactory; its form owns it. In the text it stands as one
// placeholder character (hidden and image inputs excepted); layout asks it
// for its size and each paint tells it where it stands.
//
// Kinds that show a real window control override WindowControl, FitToCanvas
// (to size that control) and Place (to move it); the base draws a look-alike.
class TFormControlObj {
public:
    TFormControlObj(TSectionList* document, ThtmlForm* form, const TAttributeList& attributes);
    virtual ~TFormControlObj();
    TFormControlObj(const TFormControlObj&) = delete;
    TFormControlObj& operator=(const TFormControlObj&) = delete;

    virtual QWidget* WindowControl() const { return nullptr; }
    // Draws a look-alike of the control with its top left corner at (x, y).
    virtual void PaintLook(QPainter& painter, int x, int y) {}
    virtual void ResetToInitial() {}
    // Buttons: the caption shown, when it is not the submitted Value (the
    // text content of a BUTTON element). Other kinds ignore it.
    virtual void SetCaption(const std::string& caption) {}
    virtual bool SubmissionPair(int Index, std::string& S) { return false; }
    // Sizes the control from the document's fonts; sets Width and Height.
    virtual void FitToCanvas(TFontCache& fonts) {}
    // Called by every paint that shows the control, (x, y) being its top
    // left corner on the painted device. Sets Shown; the base draws the
    // look-alike.
    virtual void Place(TPaintContext& ctx, int x, int y);
    // Whether the control takes a place in the text (hidden and image inputs
    // do not).
    virtual bool TakesPlace() const { return true; }

    int Width() const { return m_width; }
    int Height() const { return m_height; }

    int YPos = 0;
    int TextPos = 0;
    TSectionList* Document;
    ThtmlForm* Form;
    std::string Value;
    std::string Name;
    // Check boxes and radio buttons sit on the base line; other controls
    // hang below it like text descenders.
    bool PlacementFlag = false;
    bool Shown = false;
    std::string OnClickText;
    // Document position after layout.
    int Left = 0;
    int Top = 0;

protected:
    int m_width = 0;
    int m_height = 0;
};

// One OPTION of a SELECT as the parser read it.
struct TSelectOption {
    std::string Text;
    std::string Value;
    bool Selected = false;
};

// Makes the form controls the parser meets. The viewer installs a factory
// that builds real window controls; without one the document gets drawn
// look-alikes (TDrawnControlFactory), which is what off-screen rendering
// needs.
class TFormControlFactory {
public:
    virtual ~TFormControlFactory() = default;
    // INPUT; type is the TYPE value in lower case, at most 20 characters.
    virtual std::unique_ptr<TFormControlObj> CreateInput(TSectionList* document, ThtmlForm* form,
                                                         const TAttributeList& attributes,
                                                         const std::string& type) = 0;
    // SELECT with its options; longest is the longest option text (at least 3).
    virtual std::unique_ptr<TFormControlObj> CreateSelect(TSectionList* document, ThtmlForm* form,
                                                          const TAttributeList& attributes,
                                                          std::vector<TSelectOption> options,
                                                          int longest) = 0;
    // TEXTAREA with the lines of its content.
    virtual std::unique_ptr<TFormControlObj> CreateTextArea(TSectionList* document, ThtmlForm* form,
                                                            const TAttributeList& attributes,
                                                            std::vector<std::string> lines) = 0;
};
