#include "ui/chrome.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <cmath>

// Developer-facing trace; enable with QT_LOGGING_RULES="tabulex.ui.debug=true".
Q_LOGGING_CATEGORY(lcTabulex, "tabulex.ui", QtInfoMsg)

static void initResources() { Q_INIT_RESOURCE(tabulex_images); }

namespace ui {

int dluX(int units) { return static_cast<int>(std::lround(units * 1.5)); }
int dluY(int units) { return static_cast<int>(std::lround(units * 1.625)); }
QRect dluRect(int x, int y, int width, int height) {
  return QRect(dluX(x), dluY(y), dluX(width), dluY(height));
}

namespace {

// Windows asks for fonts by cell height (ascent + descent); Qt by em size.
// Scale the em size until the line height matches the requested cell.
QFont fontWithCellHeight(const QString& family, int cell, bool italic) {
  QFont font(family);
  font.setItalic(italic);
  font.setWeight(QFont::Normal);
  font.setPixelSize(cell);
  const int height = QFontMetrics(font).height();
  if (height > 0 && height != cell) {
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(double(cell) * cell / height))));
  }
  return font;
}

// The bands are counted over the window with its frame. Window managers
// draw frames of every size, or none (offscreen, a bare X server); the
// classic frame (3-pixel borders, a 23-pixel title bar) gives every desktop
// the same bands.
constexpr int kBorder = 3;
constexpr int kTitleBar = 23;

}  // namespace

QFont chromeFont(FontKind kind) {
  switch (kind) {
    case FontKind::Title:
      return fontWithCellHeight("MonoType Corsive", 33, true);
    case FontKind::Label:
    case FontKind::Notice:
      break;
  }
  return fontWithCellHeight("Verdana", 13, false);
}

QFont dialogFont() {
  QFont font("MS Sans Serif");
  font.setPixelSize(11);  // 8 points at 96 dots per inch
  return font;
}

QSize outerSize(const QWidget* window) {
  return QSize(window->width() + 2 * kBorder, window->height() + 2 * kBorder + kTitleBar);
}

static void paintBands(QPainter& painter, QSize outer, int bandHeight) {
  const int width = outer.width(), height = outer.height();
  if (width <= 0 || height <= 0) return;
  const int bands = std::max(1, height / bandHeight);
  const int dR = 184 / bands, dG = 109 / bands, dB = 120 / bands;
  int r = 240, g = 240, b = 240;
  QImage image(width, height, QImage::Format_RGB32);
  QPainter off(&image);
  for (int top = 0; top < height; top += bandHeight) {
    r -= dR;
    g -= dG;
    b -= dB;
    off.fillRect(0, top, width, bandHeight, QColor(r, g, b));
  }
  off.end();
  painter.drawImage(0, 0, image);
}

void BandedBackground(QPainter& painter, QSize outer) { paintBands(painter, outer, 4); }
void RowGradient(QPainter& painter, QSize outer) { paintBands(painter, outer, 1); }

void FlatBackground(QPainter& painter, QSize outer, const QColor& colour) {
  QImage image(outer, QImage::Format_RGB32);
  image.fill(colour);
  painter.drawImage(0, 0, image);
}

void paintLabel(QPainter& painter, const LabelStrip& label) {
  QImage strip(label.width, label.height, QImage::Format_RGB32);
  strip.fill(label.background);
  QPainter off(&strip);
  off.setFont(chromeFont(label.font));
  off.setPen(label.textColour);
  off.setBackgroundMode(Qt::OpaqueMode);
  off.setBackground(label.background);
  off.drawText(QRect(0, 0, label.width, label.height), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
               label.text);
  off.end();
  painter.drawImage(label.x, label.y, strip);
}

void paintFrame(QPainter& painter, const GroupFrame& frame) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(Qt::black, 1));
  for (const Segment& segment : frame) {
    if (segment.from == segment.to) continue;
    // The platform's line rule leaves the end point out.
    QPoint to = segment.to;
    if (segment.from.y() == to.y()) {
      to.rx() += to.x() > segment.from.x() ? -1 : 1;
    } else if (segment.from.x() == to.x()) {
      to.ry() += to.y() > segment.from.y() ? -1 : 1;
    }
    painter.drawLine(segment.from, to);
  }
  painter.restore();
}

QPixmap bitmap(int id) {
  initResources();
  QPixmap pixmap(QString(":/tabulex/images/%1.png").arg(id));
  if (pixmap.isNull()) qCWarning(lcTabulex) << "bitmap resource" << id << "is missing";
  return pixmap;
}

QPixmap iconPixmap() { return bitmap(151); }

QString applicationTitle() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void setUpApplication() {
  QFont::insertSubstitution("Verdana", "DejaVu Sans");
  QFont::insertSubstitution("MonoType Corsive", "Z003");
  QFont::insertSubstitution("MS Sans Serif", "DejaVu Sans");
  // Pages hand over by hiding one and showing the next inside nested runs;
  // the moment between them has no visible window and must not end the run.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(QIcon(iconPixmap()));
}

}  // namespace ui
