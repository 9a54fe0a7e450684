#include "html/viewer/form_submission.h"

#include "base/ascii.h"
#include "html/common/text_util.h"
#include "html/document/form_control_obj.h"
#include "html/document/html_form.h"
#include "html/viewer/form_controls.h"
#include "html/viewer/form_host.h"

#include <QRadioButton>

namespace html_viewer {

std::vector<std::string> SubmissionPairs(ThtmlForm& form, const std::string& buttonPair)
{
    std::vector<std::string> results;
    for (const auto& control : form.Controls) {
        std::string pair;
        for (int index = 0; control->SubmissionPair(index, pair); ++index) {
            if (!pair.empty())
                results.push_back(pair);
            pair.clear();
        }
    }
    if (!buttonPair.empty())
        results.push_back(buttonPair);
    return results;
}

void SubmitForm(TFormHost& host, ThtmlForm& form, const std::string& buttonPair)
{
    if (!host.HasSubmitHook())
        return;
    std::vector<std::string> results = SubmissionPairs(form, buttonPair);
    host.SubmitHook(form.Action, form.Target, form.EncType, form.Method, std::move(results));
}

void ResetAllControls(ThtmlForm& form)
{
    for (const auto& control : form.Controls)
        control->ResetToInitial();
}

void RadioChecked(TFormHost& host, TFormControlObj& radio)
{
    if (!radio.Name.empty() && radio.Form) {
        for (const auto& control : radio.Form->Controls) {
            auto* other = dynamic_cast<TRadioButtonFormControlObj*>(control.get());
            if (other && other != &radio && base::equalsIgnoreCase(other->Name, radio.Name))
                other->Radio()->setChecked(false);
        }
    }
    host.ObjectClick(&radio);
}

} // namespace html_viewer
