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
        if (!text::isOneLine(input)) {
            const QString head = text::oneLine(QStringView(input).left(pos));
            input = head + text::oneLine(QStringView(input).mid(pos));
            pos = static_cast<int>(head.size());
        }
        if (m_edit->m_lowerCaseLatin) {
            for (QChar& c : input) {
                if (c >= u'A' && c <= u'Z') {
                    c = QChar(c.unicode() + (u'a' - u'A'));
                }
            }
        }
        const auto limit = static_cast<std::size_t>(std::max(m_edit->m_maxBytes, 0));
        const std::size_t bytes = m_edit->measure(input);
        if (bytes <= limit) {
            return Acceptable;
        }
        const std::size_t before = m_edit->measure(m_edit->m_previousText);
        if (bytes <= before) {
            // Deleting from a text the program set longer than the limit.
            return Acceptable;
        }
        if (before > limit) {
            // Adding to such a text: refused.
            return Invalid;
        }
        // A number pasted whole may fit without its separators; a key typed past the limit is refused as ever.
        if (m_edit->m_fitter && input.size() > m_edit->m_previousText.size() + 1) {
            const QString fitted = m_edit->m_fitter(input);
            if (m_edit->measure(fitted) <= limit) {
                input = fitted;
                pos = static_cast<int>(fitted.size());
                return Acceptable;
            }
        }
        // New text lands just before the cursor: keep as much of it as fits, whole characters only.
        const QStringView head = QStringView(input).left(pos);
        const QString tail = input.mid(pos);
        const std::size_t tailBytes = m_edit->measure(tail);
        const std::size_t room = tailBytes < limit ? limit - tailBytes : 0;
        qsizetype kept = 0;
        std::size_t used = 0;
        while (kept < head.size()) {
            const qsizetype len = head[kept].isHighSurrogate() && kept + 1 < head.size() ? 2 : 1;
            const std::size_t size = m_edit->measure(head.mid(kept, len));
            if (used + size > room) {
                break;
            }
            used += size;
            kept += len;
        }
        input = head.left(kept).toString() + tail;
        pos = static_cast<int>(kept);
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

std::size_t ByteLimitedLineEdit::measure(QStringView text) const
{
    return m_measure ? m_measure(text) : text::byteLength(text);
}

ByteLimitedLineEdit::ByteLimitedLineEdit(int maxBytes, QWidget* parent)
    : QLineEdit(parent)
    , m_maxBytes(maxBytes)
{
    setValidator(new Validator(this));
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { m_previousText = text; });
}

} // namespace telvane::widgets
