#pragma once

#include <string>
#include <string_view>
#include <vector>

// Turning a submitted HTML form into an engine line. The user marks the
// form's fields with the placeholders and presses the form's own submit
// button; instead of sending the form, the program writes its action,
// method and fields as one line of the engines list. Nothing here escapes
// anything but spaces: values go into the line exactly as they stand in the
// fields.
namespace app {

// The site root of an address: everything up to and including the first
// "//" and the host after it, without a trailing "/"
// ("http://www.example.com/a/b/c.html" gives "http://www.example.com"). An
// address without "//" is returned unchanged.
std::string extraewebbasic(std::string_view address);

// True for an address that the program downloads rather than opens as a
// local file: one that holds "http://" or "https://" in any letter case.
bool isWebAddress(std::string_view address);

// What the viewer reports for a submitted form.
struct SubmittedForm {
    std::string action;
    std::string method;               // as written in the page; "Get" when the form names none
    std::vector<std::string> results; // name=value lines in form order
};

// Builds the engine line for a submitted form: the upper-cased method
// glued to the action, "?", and the name=value pairs joined by "&", with
// every space written "%20". A relative action is resolved against the root
// of the site the user typed (siteAddress), never against the folder of the
// page that holds the form. siteAddress is reduced to that root and, when
// the action was relative, keeps it with a trailing "/" for the next
// capture.
std::string captureEngineLine(const SubmittedForm& form, std::string& siteAddress);

} // namespace app
