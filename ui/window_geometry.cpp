#include "ui/window_geometry.h"

#include <QWidget>

namespace zorvik::ui {
namespace {

QSize extentOf(const QWidget* w) {
  return w->frameGeometry().size() - w->geometry().size();
}

}  // namespace

QSize frameExtent(const QWidget* window, const QWidget* fallback) {
  const QSize own = extentOf(window);
  if (own.width() > 0 || own.height() > 0 || !fallback) return own;
  return extentOf(fallback);
}

void placeFrame(QWidget* window, int left, int top) {
  // QWidget::move positions a window's frame, not its client area.
  window->move(left, top);
}

}  // namespace zorvik::ui
