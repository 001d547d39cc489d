// A push button drawn entirely from two bitmaps: the normal image and, while
// the button is held down, the pressed image. Each is copied unscaled from
// the button's top-left corner and clipped to the button; no border and no
// focus rectangle.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace ui {

class ImageButton : public QAbstractButton {
  Q_OBJECT
 public:
  ImageButton(QWidget* parent, const QRect& geometry);
  // Bitmap resource numbers; giving images again replaces the earlier ones.
  void loadBitmaps(int normal, int pressed);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap normal_;
  QPixmap pressed_;
};

}  // namespace ui
