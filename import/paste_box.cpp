#include "import/paste_box.h"

#include <QFontMetrics>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

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
{
    // The box sets its scroll bars for its own document whenever that document or the box changes; while a column
    // is shown they are set for the column again.
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()}) {
        connect(bar, &QScrollBar::rangeChanged, this, [this] { fitScrollBars(); });
    }
}

PasteBox::Column PasteBox::makeColumn(QString text)
{
    Column column;
    column.starts.reserve(static_cast<std::size_t>(text.count(u'\n')) + 1);
    column.starts.push_back(0);
    qsizetype lineStart = 0;
    int bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\n') {
            column.widestBytes = std::max(column.widestBytes, bytes);
            bytes = 0;
            lineStart = i + 1;
            column.starts.push_back(lineStart);
        } else if (!QChar::isLowSurrogate(c)) {
            bytes += c < 0x80 ? 1 : 2;
        }
    }
    column.widestBytes = std::max(column.widestBytes, bytes);
    column.text = std::move(text);
    return column;
}

void PasteBox::showColumn(Column column)
{
    m_column = std::move(column);
    m_showing = true;
    fitScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

void PasteBox::showOwnText()
{
    m_showing = false;
    m_column = Column();
    // The box's own ranges come back with its next layout of its document.
    document()->markContentsDirty(0, 0);
    viewport()->update();
}

QString PasteBox::shownText() const
{
    return m_showing ? m_column.text : toPlainText();
}

int PasteBox::shownLineCount() const
{
    if (!m_showing) {
        const int blocks = document()->blockCount();
        return document()->lastBlock().length() <= 1 ? blocks - 1 : blocks;
    }
    const auto lines = static_cast<int>(m_column.starts.size());
    return m_column.starts.back() == m_column.text.size() ? lines - 1 : lines;
}

void PasteBox::fitScrollBars()
{
    if (!m_showing || m_fitting) {
        return;
    }
    // As the box's own: the vertical bar counts lines, the horizontal one pixels.
    m_fitting = true;
    const QFontMetrics metrics(font());
    const int lineHeight = std::max(1, metrics.height());
    const int margin = static_cast<int>(document()->documentMargin());
    const int visible = std::max(1, (viewport()->height() - 2 * margin) / lineHeight);
    const auto lines = static_cast<int>(m_column.starts.size());
    verticalScrollBar()->setRange(0, std::max(0, lines - visible));
    verticalScrollBar()->setPageStep(visible);
    const int widest = m_column.widestBytes * metrics.horizontalAdvance(u'0') + 2 * margin;
    horizontalScrollBar()->setRange(0, std::max(0, widest - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    m_fitting = false;
}

void PasteBox::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    fitScrollBars();
}

void PasteBox::paintEvent(QPaintEvent* event)
{
    if (!m_showing) {
        QPlainTextEdit::paintEvent(event);
        return;
    }
    // The lines as the box draws its own: one line of the font's height each, from the document's margin, in the
    // colour of the box's state.
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().brush(QPalette::Base));
    painter.setFont(font());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    const QFontMetrics metrics(font());
    const int lineHeight = std::max(1, metrics.height());
    const int margin = static_cast<int>(document()->documentMargin());
    const int x = margin - horizontalScrollBar()->value();
    const auto lines = static_cast<int>(m_column.starts.size());
    int y = margin;
    for (int line = verticalScrollBar()->value(); line < lines && y < viewport()->height(); ++line) {
        const auto index = static_cast<std::size_t>(line);
        const qsizetype start = m_column.starts[index];
        const qsizetype end =
            index + 1 < m_column.starts.size() ? m_column.starts[index + 1] - 1 : m_column.text.size();
        if (end > start) {
            painter.drawText(x, y + metrics.ascent(), QStringView(m_column.text).mid(start, end - start).toString());
        }
        y += lineHeight;
    }
}

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
