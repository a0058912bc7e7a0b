// The confirmation question: caption "Confirm", the question icon, two lines
// of text (and, after a blank line, what the answer is about) and the
// buttons "Yes" and "No". A message box cannot be given its
// button texts portably (they follow the system's language), so this is a
// small dialog of its own, laid out the way a message box is.
#pragma once

#include "apps/windows/win_util.h"
#include "session/update_session.h"

namespace zorvik::win {

// True only when the user answers "Yes"; "No", Escape and the close box say no.
bool confirm(HWND owner, const session::Question& question);

}  // namespace zorvik::win
