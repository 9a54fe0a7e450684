#pragma once

#include <memory>
#include <string>
#include <vector>

class TSectionList;
class TFormControlObj;
class TAttributeList;

// A FORM element, or the implicit form of controls standing outside one. It
// owns its controls in document order. The document owns the forms.
class ThtmlForm {
public:
    static constexpr std::size_t kMaxMethodLength = 128;

    // A form from a FORM tag's attributes; without attributes an implicit
    // form (Method "Get", empty Action, Target and EncType).
    ThtmlForm(TSectionList* document, const TAttributeList* attributes);
    virtual ~ThtmlForm();
    ThtmlForm(const ThtmlForm&) = delete;
    ThtmlForm& operator=(const ThtmlForm&) = delete;

    TFormControlObj* AddControl(std::unique_ptr<TFormControlObj> control);

    TSectionList* Document;
    std::string Method = "Get";
    std::string Action;
    std::string Target;
    std::string EncType;
    std::vector<std::unique_ptr<TFormControlObj>> Controls;
};
