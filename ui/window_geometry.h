// Private to its library.
// Placement of the secondary windows relative to the main window. Qt places
// a top-level window by its frame but sizes it by its client area, so the
// frame's extent has to be known; before a window has been shown the window
// manager has not told it yet, and the frame of a shown sibling stands in.
#pragma once

#include <QSize>

class QWidget;

namespace zorvik::ui {

// Width and height that the frame adds to the client area of window, or of
// fallback while window has no frame of its own yet.
QSize frameExtent(const QWidget* window, const QWidget* fallback);

// Moves the window so that its frame's top-left corner lies at (left, top).
void placeFrame(QWidget* window, int left, int top);

}  // namespace zorvik::ui
