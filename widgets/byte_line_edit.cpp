#include "widgets/byte_line_edit.h"

#include "text/gbk.h"

#include <QValidator>

#include <algorithm>

namespace telvane::widgets {

// The validator sees every change of the text. A change made by the user (typing, paste, drop, input-method
// commit) is recorded in the box's undo history before it is validated; text set by the program clears that
// history, and is left alone.
class ByteLimitedLineEdit::Validator : public QValidator
{
public:
    explicit Validator(ByteLimitedLineEdit* edit)
        : QValidator(edit)
        , m_edit(edit)
    { }

    State validate(QString& input, int& pos) const override
    {
        if (!m_edit->isUndoAvailable()) {
            return Acceptable;
        }
        dropUnpairedSurrogates(input, pos);
        if (m_edit->m_lowerCaseLatin) {
            for (QChar& c : input) {
                if (c >= u'A' && c <= u'Z') {
                    c = QChar(c.unicode() + (u'a' - u'A'));
                }
            }
        }
        const auto limit = static_cast<std::size_t>(std::max(m_edit->m_maxBytes, 0));
        const std::size_t bytes = text::byteLength(input);
        if (bytes <= limit) {
            return Acceptable;
        }
        const std::size_t before = text::byteLength(m_edit->m_previousText);
        if (bytes <= before) {
            // Deleting from a text the program set longer than the limit.
            return Acceptable;
        }
        if (before > limit) {
            // Adding to such a text: refused.
            return Invalid;
        }
        // New text lands just before the cursor: keep as much of it as fits, whole characters only.
        const QStringView head = QStringView(input).left(pos);
        const QStringView tail = QStringView(input).mid(pos);
        const std::size_t tailBytes = text::byteLength(tail);
        const QString kept = text::leftBytes(head, tailBytes < limit ? limit - tailBytes : 0);
        input = kept + tail.toString();
        pos = static_cast<int>(kept.size());
        return Acceptable;
    }

private:
    // A lone surrogate is no character at all and cannot be stored.
    static void dropUnpairedSurrogates(QString& input, int& pos)
    {
        for (qsizetype i = 0; i < input.size();) {
            const QChar c = input[i];
            if (c.isHighSurrogate() && i + 1 < input.size() && input[i + 1].isLowSurrogate()) {
                i += 2;
            } else if (c.isSurrogate()) {
                input.remove(i, 1);
                if (i < pos) {
                    --pos;
                }
            } else {
                ++i;
            }
        }
    }

    ByteLimitedLineEdit* m_edit;
};

ByteLimitedLineEdit::ByteLimitedLineEdit(int maxBytes, QWidget* parent)
    : QLineEdit(parent)
    , m_maxBytes(maxBytes)
{
    setValidator(new Validator(this));
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { m_previousText = text; });
}

} // namespace telvane::widgets
