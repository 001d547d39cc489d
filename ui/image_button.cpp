#include "ui/image_button.h"

#include <QPainter>

#include "ui/chrome.h"

namespace ui {

ImageButton::ImageButton(QWidget* parent, const QRect& geometry) : QAbstractButton(parent) {
  setGeometry(geometry);
  setFocusPolicy(Qt::StrongFocus);
}

void ImageButton::loadBitmaps(int normal, int pressed) {
  normal_ = bitmap(normal);
  pressed_ = bitmap(pressed);
  update();
}

QSize ImageButton::sizeHint() const { return size(); }

void ImageButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setClipRect(rect());
  const QPixmap& image = isDown() ? pressed_ : normal_;
  if (!image.isNull()) painter.drawPixmap(0, 0, image);
}

}  // namespace ui
