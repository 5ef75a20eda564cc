#include "import/paste_box.h"

#include <QMimeData>

using namespace Qt::StringLiterals;

namespace telvane::import {

namespace {

// The format name of UTF-8 text when Qt does not give it as text/plain.
QString utf8TextFormat(const QMimeData& source)
{
    for (const QString& format : source.formats()) {
        if (format.compare(u"text/plain;charset=utf-8"_s, Qt::CaseInsensitive) == 0) {
            return format;
        }
    }
    return {};
}

} // namespace

PasteBox::PasteBox(QWidget* parent)
    : QPlainTextEdit(parent)
{ }

bool PasteBox::canInsertFromMimeData(const QMimeData* source) const
{
    return QPlainTextEdit::canInsertFromMimeData(source) || (source && !utf8TextFormat(*source).isEmpty());
}

void PasteBox::insertFromMimeData(const QMimeData* source)
{
    if (!source) {
        return;
    }
    QString text;
    bool plainOnly = false;
    if (source->hasText()) {
        text = source->text();
    } else if (const QString format = utf8TextFormat(*source); !format.isEmpty()) {
        text = QString::fromUtf8(source->data(format));
        plainOnly = true;
    } else {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    if (m_pasteHandler && m_pasteHandler(text)) {
        return;
    }
    if (plainOnly) {
        insertPlainText(text);
        ensureCursorVisible();
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}

} // namespace telvane::import
