#include "form_capture.h"

#include "profile.h"

#include "base/ascii.h"

#include <algorithm>

namespace app {
namespace {

constexpr std::string_view kSchemeSeparator = "//";

bool isBlank(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

// An action that starts with "http" in any letter case (so "https" too) is
// absolute and stays as it is.
bool isAbsoluteAction(std::string_view line)
{
    return base::toLower(line.substr(0, 4)) == "http";
}

// A root such as "http://" names no site: resolving against it would turn
// the action's first path segment into a host name.
bool namesNoHost(std::string_view root)
{
    const std::size_t separator = root.find(kSchemeSeparator);
    return separator != std::string_view::npos &&
           isBlank(root.substr(separator + kSchemeSeparator.size()));
}

// Makes a relative line absolute against the site root. The root is taken as
// it is and gets a trailing "/"; siteAddress keeps that base.
std::string resolveAgainstSite(std::string line, std::string& siteAddress)
{
    std::string base = siteAddress;
    if (base.empty() || base.back() != '/')
        base += '/';
    siteAddress = base;
    if (line.starts_with(kSchemeSeparator)) {
        // "//host/path" names another host with the page's own scheme.
        return base.substr(0, base.find(kSchemeSeparator)) + line;
    }
    if (!line.empty() && line.front() == '/')
        line.erase(0, 1);
    // An action written as "host/path" without a scheme repeats a part of
    // the base; the base is cut in front of it so that it is not doubled.
    const std::size_t slash = line.find('/');
    if (slash != std::string::npos) {
        const std::size_t at = base.find(line.substr(0, slash + 1));
        if (at != std::string::npos) {
            base.resize(at);
            siteAddress = base;
        }
    }
    return base + line;
}

} // namespace

std::string extraewebbasic(std::string_view address)
{
    const std::size_t separator = address.find(kSchemeSeparator);
    if (separator == std::string_view::npos)
        return std::string(address);
    const std::size_t hostStart = separator + kSchemeSeparator.size();
    const std::size_t hostEnd = address.find('/', hostStart);
    return std::string(address.substr(0, hostEnd));
}

bool isWebAddress(std::string_view address)
{
    const std::string upper = base::toUpper(address);
    return upper.find("HTTP://") != std::string::npos ||
           upper.find("HTTPS://") != std::string::npos;
}

std::string captureEngineLine(const SubmittedForm& form, std::string& siteAddress)
{
    std::string line = form.action + "?";
    siteAddress = extraewebbasic(siteAddress);
    for (std::size_t i = 0; i < form.results.size(); ++i) {
        if (i > 0)
            line += '&';
        line += form.results[i];
    }
    line = sacaesp(line);
    std::string_view trimmed = siteAddress;
    while (!trimmed.empty() && trimmed.back() == ' ')
        trimmed.remove_suffix(1);
    if (!isAbsoluteAction(line) && !trimmed.empty() && !namesNoHost(siteAddress))
        line = resolveAgainstSite(std::move(line), siteAddress);
    return base::toUpper(form.method) + line;
}

} // namespace app
