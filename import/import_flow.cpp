#include "import/import_flow.h"

namespace telvane::import {

ImportFlow::TidyStep ImportFlow::tidyClicked(bool anyLine)
{
    if (m_state == State::Tidying) {
        return TidyStep::Nothing;
    }
    // The empty boxes are told first, in either state.
    if (!anyLine) {
        return TidyStep::EmptyHint;
    }
    if (m_state == State::Entering) {
        m_state = State::Tidying;
        return TidyStep::Tidy;
    }
    m_state = State::Entering;
    return TidyStep::StartAgain;
}

void ImportFlow::tidyFinished()
{
    if (m_state == State::Tidying) {
        m_state = State::Tidied;
    }
}

ImportFlow::ImportStep ImportFlow::importClicked(bool anyLine) const
{
    if (m_state != State::Tidied) {
        return ImportStep::Nothing;
    }
    return anyLine ? ImportStep::Import : ImportStep::EmptyHint;
}

void ImportFlow::imported()
{
    m_importDone = true;
    m_state = State::Entering;
}

} // namespace telvane::import
