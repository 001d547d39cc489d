// Draws the wizard's button images and its icon into PNG files:
//   tabulex_gen_images <output-folder>
// The images are committed under res/images; scripts/gen-images rebuilds them.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cstdio>

namespace {

// The page background is pale cyan, darker towards the bottom; each image's
// margin is close to the page where its button sits.
const QColor kHighGround(182, 242, 242);
const QColor kLowGround(140, 242, 242);

QImage yellowFace(int width, int height, const QString& word, bool pressed) {
  QImage image(width, height, QImage::Format_RGB888);
  image.fill(word == "Help" ? kHighGround : kLowGround);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF face = QRectF(1, 1, 88, 25).adjusted(pressed ? 1 : 0, pressed ? 1 : 0, 0, 0);
  QLinearGradient shade(face.topLeft(), face.bottomLeft());
  shade.setColorAt(0.0, QColor(249, 198, 54));
  shade.setColorAt(0.5, QColor(255, 194, 10));
  shade.setColorAt(1.0, QColor(244, 190, 9));
  p.setPen(QPen(pressed ? QColor(120, 90, 0) : QColor(196, 150, 6), pressed ? 1.6 : 1.0));
  p.setBrush(shade);
  p.drawRoundedRect(face, 7, 7);
  QFont font("DejaVu Sans");
  font.setPixelSize(12);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(face.translated(pressed ? 1 : 0, pressed ? 1 : 0), Qt::AlignCenter, word);
  return image;
}

QImage arrow(int width, int height, double w, double h, bool right, bool pressed) {
  QImage image(width, height, QImage::Format_RGB888);
  image.fill(kHighGround);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double ox = (width - w) / 2 + (pressed ? 1 : 0), oy = (height - h) / 2 + (pressed ? 1 : 0);
  QPolygonF shape;
  shape << QPointF(0, h * 0.3) << QPointF(w * 0.55, h * 0.3) << QPointF(w * 0.55, 0)
        << QPointF(w, h / 2) << QPointF(w * 0.55, h) << QPointF(w * 0.55, h * 0.7)
        << QPointF(0, h * 0.7);
  if (!right) {
    for (QPointF& point : shape) point.setX(w - point.x());
  }
  shape.translate(ox, oy);
  QLinearGradient shade(QPointF(0, oy), QPointF(0, oy + h));
  shade.setColorAt(0.0, QColor(80, 200, 80));
  shade.setColorAt(1.0, QColor(0, 120, 20));
  p.setPen(QPen(QColor(0, 80, 0), pressed ? 1.6 : 1.0));
  p.setBrush(shade);
  p.drawPolygon(shape);
  return image;
}

// 32 x 32 with transparency, drawn in a handful of flat colours: a grey and
// yellow block with a grey magnifying glass over its lower right corner.
QImage icon() {
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setPen(QColor(64, 64, 64));
  p.setBrush(QColor(192, 192, 192));
  p.drawRect(2, 3, 22, 20);
  p.setBrush(QColor(255, 255, 0));
  p.drawRect(2, 3, 22, 6);
  p.setPen(QColor(128, 128, 128));
  for (int y = 12; y < 22; y += 3) p.drawLine(5, y, 20, y);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(QColor(64, 64, 64), 2));
  p.setBrush(QColor(255, 255, 255, 160));
  p.drawEllipse(QRect(14, 14, 11, 11));
  p.setPen(QPen(QColor(128, 128, 128), 4));
  p.drawLine(24, 24, 30, 30);
  p.end();
  // Keep to the sixteen colours of the classic window icon.
  return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tabulex_gen_images <output-folder>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  QDir().mkpath(out.path());
  struct Face { int id, width; const char* word; bool pressed; };
  const Face faces[] = {
      {129, 90, "Next", false},     {139, 90, "Next", true},      {135, 90, "Previous", false},
      {136, 91, "Previous", true},  {137, 90, "Help", false},     {138, 90, "Help", true},
      {140, 90, "Browse", false},   {141, 90, "Browse", true},    {150, 91, "Refresh", false},
      {142, 90, "Refresh", true},   {144, 90, "Convert", false},  {145, 90, "Convert", true},
  };
  bool ok = true;
  for (const Face& face : faces) {
    ok &= yellowFace(face.width, 27, face.word, face.pressed).save(out.filePath(QString("%1.png").arg(face.id)));
  }
  ok &= arrow(50, 41, 42, 31, true, false).save(out.filePath("132.png"));
  ok &= arrow(51, 42, 42, 31, true, true).save(out.filePath("131.png"));
  ok &= arrow(40, 33, 32, 25, false, false).save(out.filePath("134.png"));
  ok &= arrow(40, 35, 32, 25, false, true).save(out.filePath("133.png"));
  ok &= icon().save(out.filePath("151.png"));
  return ok ? 0 : 1;
}
