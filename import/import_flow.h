#pragma once

// The import window's states and what each of its two commands does in each, without the window. One state says
// it all: the boxes take input only while Entering, show the tidied columns while Tidied, and neither command
// starts anything while the columns are being tidied.
namespace telvane::import {

class ImportFlow
{
public:
    enum class State {
        Entering, // the boxes take pasted and typed text; importing is disabled
        Tidying, // 整理数据 is rewriting the boxes; the boxes and both buttons are disabled
        Tidied, // the boxes show the tidied columns, read-only; importing is enabled
    };
    State state() const { return m_state; }
    // Set once rows have been added to the store; stays set until the window closes.
    bool importDone() const { return m_importDone; }

    // What a click of 整理按钮 starts.
    enum class TidyStep {
        Nothing, // the boxes are being tidied
        EmptyHint, // no box holds a line: the hint, nothing else changes
        Tidy, // the boxes are to be tidied (Entering to Tidying)
        StartAgain, // the tidied boxes are emptied for a new batch (Tidied to Entering)
    };
    TidyStep tidyClicked(bool anyLine);
    // The tidied columns are all shown (Tidying to Tidied).
    void tidyFinished();

    // What a click of 导入按钮 starts.
    enum class ImportStep {
        Nothing, // not in the Tidied state
        EmptyHint, // no box holds a line
        Import,
    };
    ImportStep importClicked(bool anyLine) const;
    // The rows went into the store: the window starts a new batch (Tidied to Entering).
    void imported();

private:
    State m_state = State::Entering;
    bool m_importDone = false;
};

} // namespace telvane::import
