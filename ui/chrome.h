// The painted look shared by the wizard's windows: dialog-unit geometry, the
// banded and gradient backgrounds, label strips and group frames, the fonts,
// the bitmap resources and the application-wide set-up.
#pragma once

#include <QColor>
#include <QFont>
#include <QLoggingCategory>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <vector>

class QPainter;
class QWidget;

Q_DECLARE_LOGGING_CATEGORY(lcTabulex)

namespace ui {

// Templates are laid out in dialog units of the 8-point dialog font; the
// painted elements are in pixels and line up with 1.5 px across and
// 1.625 px down per unit.
int dluX(int units);
int dluY(int units);
QRect dluRect(int x, int y, int width, int height);

enum class FontKind { Title, Label, Notice };
QFont chromeFont(FontKind kind);
// The 8-point dialog font every template uses.
QFont dialogFont();

// Height and width of the window with the classic title bar and borders.
QSize outerSize(const QWidget* window);

// Four-pixel bands darkening from near-white towards pale cyan.
void BandedBackground(QPainter& painter, QSize outer);
// The same with one-pixel bands (the notices).
void RowGradient(QPainter& painter, QSize outer);
void FlatBackground(QPainter& painter, QSize outer, const QColor& colour);

struct LabelStrip {
  QString text;
  FontKind font;
  QColor textColour;
  QColor background;
  int width;
  int height;
  int x;
  int y;
};
void paintLabel(QPainter& painter, const LabelStrip& label);

struct Segment {
  QPoint from;
  QPoint to;  // not drawn itself
};
using GroupFrame = std::vector<Segment>;
void paintFrame(QPainter& painter, const GroupFrame& frame);

// Bitmap resources by their numbers (129..150) and icon 151.
QPixmap bitmap(int id);
QPixmap iconPixmap();

// The executable's file name without its extension: the caption of every
// message box that has none of its own.
QString applicationTitle();

// Font substitutions, icon, quit behaviour: once, before the first page.
void setUpApplication();

}  // namespace ui
