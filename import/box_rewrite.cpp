#include "import/box_rewrite.h"

#include "import/tidy.h"
#include "text/gbk.h"

#include <QDeadlineTimer>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>

using namespace Qt::StringLiterals;

namespace telvane::import {

namespace {

// A new document is built when more than this share of the lines change: editing a line in place costs about twice
// as much as building it, and it happens on the GUI thread, while a document is built on a worker.
constexpr qsizetype kRebuildShare = 3;

std::unique_ptr<QTextDocument> buildDocument(QString text, const DocumentLook& look, QThread* guiThread)
{
    text.replace(u"\r\n"_s, u"\n"_s);
    auto document = std::make_unique<QTextDocument>();
    document->setDefaultFont(look.font);
    document->setDefaultTextOption(look.option);
    document->setDocumentMargin(look.margin);
    document->setIndentWidth(look.indentWidth);
    document->setPlainText(text);
    auto* layout = new QPlainTextDocumentLayout(document.get());
    layout->setCursorWidth(look.cursorWidth);
    document->setDocumentLayout(layout);
    // The box gives every block a layout object when the document comes in; made here, they cost the window nothing.
    for (QTextBlock block = document->firstBlock(); block.isValid(); block = block.next()) {
        block.layout();
    }
    document->moveToThread(guiThread);
    return document;
}

} // namespace

BoxRewrite::BoxRewrite() = default;
BoxRewrite::BoxRewrite(BoxRewrite&&) noexcept = default;
BoxRewrite& BoxRewrite::operator=(BoxRewrite&&) noexcept = default;
BoxRewrite::~BoxRewrite() = default;

std::string boxTextToGbk(QString raw)
{
    raw.replace(QChar(QChar::ParagraphSeparator), u"\r\n"_s);
    raw.replace(QChar(QChar::LineSeparator), u' ');
    raw.replace(QChar(QChar::Nbsp), u' ');
    raw.remove(QChar(0xFDD0));
    raw.remove(QChar(0xFDD1));
    return text::toGbk(raw);
}

DocumentLook lookOf(const QTextDocument& document)
{
    DocumentLook look;
    look.font = document.defaultFont();
    look.option = document.defaultTextOption();
    look.margin = document.documentMargin();
    look.indentWidth = document.indentWidth();
    if (const auto* layout = qobject_cast<const QPlainTextDocumentLayout*>(document.documentLayout())) {
        look.cursorWidth = layout->cursorWidth();
    }
    return look;
}

BoxRewrite planRewrite(int column, const QString& raw, const DocumentLook& look, QThread* guiThread,
                       const std::atomic<bool>& cancel)
{
    BoxRewrite rewrite;
    const QString text = text::fromGbk(tidyColumn(column, boxTextToGbk(raw)));
    if (cancel) {
        rewrite.unchanged = true;
        return rewrite;
    }

    // Every CR LF of the tidied text ends a block. A text with a lone CR or LF, which a box never gives, is simply
    // built anew.
    const QList<QStringView> wanted = QStringView(text).split(u"\r\n"_s);
    const qsizetype breaks = wanted.size() - 1;
    // The raw text holds the blocks separated by U+2029; comparing views of it is much quicker than asking each
    // block for its text.
    const QList<QStringView> blocks = QStringView(raw).split(QChar(QChar::ParagraphSeparator));
    const qsizetype have = blocks.size();
    std::vector<int> changed;
    bool rebuild = text.count(u'\r') != breaks || text.count(u'\n') != breaks;
    if (!rebuild) {
        for (qsizetype i = 0; i < std::min(have, wanted.size()); ++i) {
            if (blocks[i] != wanted[i]) {
                changed.push_back(static_cast<int>(i));
            }
        }
        if (changed.empty() && have == wanted.size()) {
            rewrite.unchanged = true;
            return rewrite;
        }
        rebuild = static_cast<qsizetype>(changed.size()) > wanted.size() / kRebuildShare;
    }
    if (rebuild) {
        rewrite.document = buildDocument(text, look, guiThread);
        return rewrite;
    }

    if (have > wanted.size()) {
        rewrite.keepBlocks = static_cast<int>(wanted.size());
    }
    for (qsizetype i = have; i < wanted.size(); ++i) {
        rewrite.tail += QChar(QChar::ParagraphSeparator);
        rewrite.tail += wanted[i];
    }
    // Each changed line becomes one edit of the part between what it keeps at its start and at its end; most
    // tidying only removes (spaces at the ends, a cut), and a removal is the cheapest edit.
    std::vector<int> starts(blocks.size());
    for (qsizetype i = 1; i < blocks.size(); ++i) {
        starts[i] = starts[i - 1] + static_cast<int>(blocks[i - 1].size()) + 1;
    }
    rewrite.edits.reserve(changed.size());
    for (auto it = changed.rbegin(); it != changed.rend(); ++it) {
        const QStringView from = blocks[*it];
        const QStringView to = wanted[*it];
        const qsizetype shorter = std::min(from.size(), to.size());
        qsizetype head = 0;
        while (head < shorter && from[head] == to[head]) {
            ++head;
        }
        if (head > 0 && to[head - 1].isHighSurrogate()) {
            --head; // a character is edited whole
        }
        qsizetype tail = 0;
        while (tail < shorter - head && from[from.size() - 1 - tail] == to[to.size() - 1 - tail]) {
            ++tail;
        }
        if (tail > 0 && to[to.size() - tail].isLowSurrogate()) {
            --tail;
        }
        rewrite.edits.push_back({starts[*it] + static_cast<int>(head), static_cast<int>(from.size() - head - tail),
                                 to.mid(head, to.size() - head - tail).toString()});
    }
    return rewrite;
}

bool applyRewrite(QPlainTextEdit& box, BoxRewrite& rewrite, const QDeadlineTimer& deadline)
{
    if (rewrite.unchanged) {
        return true;
    }
    if (rewrite.document) {
        // The box deletes its first document itself as it takes the new one; one put in earlier belongs to the box
        // and goes here.
        QTextDocument* previous = box.document();
        const bool putInEarlier = previous->parent() == &box;
        QTextDocument* document = rewrite.document.release();
        document->setParent(&box);
        box.setDocument(document);
        if (putInEarlier) {
            previous->deleteLater();
        }
        return true;
    }

    QTextDocument* document = box.document();
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    if (rewrite.keepBlocks >= 0) {
        const QTextBlock last = document->findBlockByNumber(rewrite.keepBlocks - 1);
        cursor.setPosition(last.position() + last.length() - 1);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        rewrite.keepBlocks = -1;
    }
    if (!rewrite.tail.isEmpty()) {
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(rewrite.tail);
        rewrite.tail.clear();
    }
    while (rewrite.nextEdit < rewrite.edits.size()) {
        const BoxRewrite::Edit& edit = rewrite.edits[rewrite.nextEdit++];
        cursor.setPosition(edit.position);
        cursor.setPosition(edit.position + edit.removed, QTextCursor::KeepAnchor);
        if (edit.inserted.isEmpty()) {
            cursor.removeSelectedText();
        } else {
            cursor.insertText(edit.inserted);
        }
        if (rewrite.nextEdit % 64 == 0 && deadline.hasExpired()) {
            break;
        }
    }
    cursor.endEditBlock();
    document->setUndoRedoEnabled(true);
    return rewrite.nextEdit == rewrite.edits.size();
}

} // namespace telvane::import
