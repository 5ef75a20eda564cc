#pragma once

#include <QFont>
#include <QString>
#include <QTextOption>

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QDeadlineTimer;
class QPlainTextEdit;
class QTextDocument;
class QThread;

// Rewriting a paste box with its tidied text without stopping the window. Filling a box is the slow part of tidying:
// a text document takes some 2.5 microseconds a line to build and about twice that to change one line in place, and
// a column has up to hundreds of thousands of lines. So the tidying, the comparison with what the box shows and the
// building of a new document run on a worker thread; the window then either swaps the new document in or changes
// the few lines that differ, a slice at a time between events.
namespace telvane::import {

// A paste box's text as GBK bytes, from its document's raw text: each paragraph break is a CR LF. A soft line break
// inside a paragraph is no row of its own and reads as a space, as does a no-break space; a plain text box holds no
// frame markers, but none would pass.
std::string boxTextToGbk(QString raw);

// What a new document must share with the box's own to look and behave the same.
struct DocumentLook
{
    QFont font;
    QTextOption option;
    qreal margin = 0;
    qreal indentWidth = 0;
    int cursorWidth = 1;
};
DocumentLook lookOf(const QTextDocument& document);

// How one box goes from the text it shows to its tidied text.
struct BoxRewrite
{
    // Nothing to do: the box already shows the tidied text.
    bool unchanged = false;
    // Many lines change: a whole new document, owned by the GUI thread, to take the place of the box's own.
    std::unique_ptr<QTextDocument> document;
    // Few lines change: the box's own document is edited. First the blocks from `keepBlocks` on are removed (-1:
    // none), then `tail` (paragraph separators and lines) is appended, then the edits are made in their order:
    // from the end of the document towards its start, so that the position of each edit still holds.
    struct Edit
    {
        int position;
        int removed;
        QString inserted;
    };
    int keepBlocks = -1;
    QString tail;
    std::vector<Edit> edits;
    std::size_t nextEdit = 0;

    BoxRewrite();
    BoxRewrite(BoxRewrite&&) noexcept;
    BoxRewrite& operator=(BoxRewrite&&) noexcept;
    ~BoxRewrite();
};

// Worker side: tidies the box's raw text as column 1..7 and works out the rewrite. A new document is built for
// `guiThread`. Gives up early, with nothing to do, once `cancel` is set.
BoxRewrite planRewrite(int column, const QString& raw, const DocumentLook& look, QThread* guiThread,
                       const std::atomic<bool>& cancel);

// GUI side: carries the rewrite out on the box, as far as the deadline allows; true once it is complete.
bool applyRewrite(QPlainTextEdit& box, BoxRewrite& rewrite, const QDeadlineTimer& deadline);

} // namespace telvane::import
