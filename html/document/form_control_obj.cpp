#include "html/document/form_control_obj.h"

#include "html/common/attribute.h"

TFormControlObj::TFormControlObj(TSectionList* document, ThtmlForm* form,
                                 const TAttributeList& attributes)
    : Document(document), Form(form)
{
    using html::Attr;
    Value = attributes.TextOf(Attr::Value);
    Name = attributes.TextOf(Attr::Name);
    OnClickText = attributes.TextOf(Attr::OnClick);
}

TFormControlObj::~TFormControlObj() = default;

void TFormControlObj::Place(TPaintContext& ctx, int x, int y)
{
    Shown = true;
    PaintLook(ctx.painter, x, y);
}
