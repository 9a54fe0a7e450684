#pragma once

#include <string>
#include <vector>

class QWidget;
class ThtmlForm;
class TFormControlObj;

// What the window-control kinds need from the viewer that shows them: the
// parent for their widgets, the submit hook, and the reports of clicks and
// focus changes.
class TFormHost {
public:
    virtual ~TFormHost() = default;

    // The drawing panel: parent of every control's widget.
    virtual QWidget* ControlParent() = 0;
    // Whether a submission is wanted at all (the viewer has an OnFormSubmit
    // handler); without it forms do not even collect their pairs.
    virtual bool HasSubmitHook() const = 0;
    // A form was submitted; Results belongs to the callee.
    virtual void SubmitHook(const std::string& Action, const std::string& Target,
                            const std::string& EncType, const std::string& Method,
                            std::vector<std::string> Results) = 0;
    // A click in a control (or its drop-down opening).
    virtual void ObjectClick(TFormControlObj* control) = 0;
    virtual void ControlEnter(TFormControlObj* control) = 0;
    virtual void ControlExit(TFormControlObj* control) = 0;
};
