#include "html/document/html_form.h"

#include "html/common/attribute.h"
#include "html/document/form_control_obj.h"

ThtmlForm::ThtmlForm(TSectionList* document, const TAttributeList* attributes) : Document(document)
{
    if (!attributes)
        return;
    using html::Attr;
    if (const TAttribute* a = attributes->Find(Attr::Method))
        Method = a->Text.substr(0, kMaxMethodLength);
    Action = attributes->TextOf(Attr::Action);
    Target = attributes->TextOf(Attr::Target);
    EncType = attributes->TextOf(Attr::EncType);
}

ThtmlForm::~ThtmlForm() = default;

TFormControlObj* ThtmlForm::AddControl(std::unique_ptr<TFormControlObj> control)
{
    Controls.push_back(std::move(control));
    return Controls.back().get();
}
