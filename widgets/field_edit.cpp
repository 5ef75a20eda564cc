#include "widgets/field_edit.h"

#include "store/field_text.h"
#include "store/fields.h"
#include "text/gbk.h"
#include "widgets/byte_line_edit.h"

namespace telvane::widgets {

void limitToField(ByteLimitedLineEdit* box, std::size_t field)
{
    const store::FieldInfo& info = store::kFields[field];
    if (info.fullWidthOnEntry) {
        box->setMeasure([field](QStringView text) { return store::storedLength(field, text); });
    }
    if (info.tidy == store::TidyRule::Phone) {
        box->setFitter([width = info.width](QStringView text) {
            return text::fromGbk(store::compactPhone(text::toGbk(text), width));
        });
    }
}

} // namespace telvane::widgets
