#pragma once

#include <string>
#include <vector>

class TFormControlObj;
class TFormHost;
class ThtmlForm;

// What a form does when it is submitted or reset. The form itself lives in
// the document; these act on it for the viewer that shows it.
namespace html_viewer {

// The name=value pairs of the form's controls in order, then buttonPair when
// it is not empty.
std::vector<std::string> SubmissionPairs(ThtmlForm& form, const std::string& buttonPair);

// Collects the pairs and hands them with the form's Action, Target, EncType
// and Method to the host's submit hook; nothing happens while the host has
// no hook.
void SubmitForm(TFormHost& host, ThtmlForm& form, const std::string& buttonPair);

// Puts every control of the form back to its initial state.
void ResetAllControls(ThtmlForm& form);

// A radio button was checked: the other radios of its form with the same
// name (ignoring case) are unchecked, then the click is reported.
void RadioChecked(TFormHost& host, TFormControlObj& radio);

} // namespace html_viewer
