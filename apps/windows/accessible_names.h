// Names that screen readers read for the controls. Buttons and the check box
// are named by their captions and the port box by the label "Comport:"
// placed right before it; the controls that show no caption of their own get
// a name here.
#pragma once

#include "apps/windows/win_util.h"

namespace zorvik::win {

// For controls whose window text is not shown (progress bar, list view): the
// name becomes their window text, which every screen reader falls back on,
// and the system's accessibility annotation where there is one.
void nameForScreenReaders(HWND control, const wchar_t* name);

// For text boxes, whose window text is their content: the annotation only.
void annotateName(HWND control, const wchar_t* name);

}  // namespace zorvik::win
