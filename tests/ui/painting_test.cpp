// What the user sees of the painted chrome, checked on the pixels that matter.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QTest>

#include "support/ui_harness.h"
#include "ui/chrome.h"
#include "ui/image_button.h"
#include "ui/notices.h"
#include "ui/pelunor_con.h"
#include "ui/tabulex_dlg.h"

namespace {

QColor at(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

::testing::AssertionResult hasColour(const QImage& image, int x, int y, QColor expected) {
  const QColor actual = at(image, x, y);
  if (actual == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is (" << actual.red() << "," << actual.green()
                                       << "," << actual.blue() << "), expected (" << expected.red() << ","
                                       << expected.green() << "," << expected.blue() << ")";
}

TEST(Painting, PagesAreSizedFromDialogUnitsAndBandedFromNearWhiteToPaleCyan) {
  ui::CTabulexDlg page;
  page.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
  EXPECT_EQ(page.size(), QSize(707, 527));
  const QImage image = uitest::grabWidget(&page);
  // Outer height 527 + 29 of classic frame: 139 four-pixel bands, only red steps.
  EXPECT_TRUE(hasColour(image, 5, 0, QColor(239, 240, 240)));
  EXPECT_TRUE(hasColour(image, 5, 3, QColor(239, 240, 240)));
  EXPECT_TRUE(hasColour(image, 5, 4, QColor(238, 240, 240)));
  EXPECT_TRUE(hasColour(image, 700, 400, QColor(139, 240, 240)));
  EXPECT_TRUE(hasColour(image, 5, 526, QColor(108, 240, 240)));
}

TEST(Painting, TallWindowsLoseTheGreenAndBlueStepsAndVeryTallOnesAreFlat) {
  // 300 px: 75 bands, steps 2,1,1. 800 px: 200 bands, every step 0.
  for (const auto& [height, expected] : {std::pair{300, QColor(90, 165, 165)}, std::pair{800, QColor(240, 240, 240)}}) {
    QImage image(10, height, QImage::Format_RGB32);
    QPainter painter(&image);
    ui::BandedBackground(painter, image.size());
    painter.end();
    EXPECT_TRUE(hasColour(image, 3, height - 1, expected)) << "height " << height;
  }
}

TEST(Painting, LabelsCoverTheFrameLineAndFramesLeaveTheirEndPointsOut) {
  ui::CPelunor_Con page;
  page.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
  const QImage image = uitest::grabWidget(&page);
  const QColor black(0, 0, 0);
  // Source frame: bottom line from x 47, the left line from y 374 up to 155.
  EXPECT_TRUE(hasColour(image, 47, 374, black));
  EXPECT_TRUE(hasColour(image, 200, 374, black));
  EXPECT_TRUE(hasColour(image, 47, 300, black));
  EXPECT_TRUE(hasColour(image, 310, 300, black));
  EXPECT_TRUE(hasColour(image, 230, 155, black)) << "top line right of the caption";
  // The end point of (47,155)->(66,155) is not drawn, nor is (310,155) of the
  // right line, but the top line reaches x 310 from the other side.
  EXPECT_FALSE(at(image, 66, 155) == black);
  // The caption strip (150 x 13 at 68,148) covers the top line; outside its
  // text the strip shows its own background colour.
  EXPECT_TRUE(hasColour(image, 216, 155, QColor(199, 240, 240)));
  EXPECT_TRUE(hasColour(image, 217, 160, QColor(199, 240, 240)));
  EXPECT_FALSE(at(image, 218, 155) == QColor(199, 240, 240));
  // The select-all label sits just right of its check box.
  EXPECT_TRUE(hasColour(image, 110 + 93, 345 + 12, QColor(156, 240, 240)));
  const QRect box = page.findChild<QWidget*>("selectAll")->geometry();
  EXPECT_LT(box.right(), 110);
  EXPECT_GT(box.bottom(), 345);
  EXPECT_LT(box.top(), 345 + 13);
}

TEST(Painting, LabelsLineUpWithTheControlsTheyName) {
  ui::CTabulexDlg page;
  page.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
  const QImage image = uitest::grabWidget(&page);
  // Each label strip lies within the vertical extent of its edit.
  const struct {
    const char* edit;
    int labelTop;
  } pairs[] = {{"server", 170}, {"login", 215}, {"password", 255}};
  for (const auto& pair : pairs) {
    const QRect edit = page.findChild<QLineEdit*>(pair.edit)->geometry();
    EXPECT_LE(edit.top(), pair.labelTop + 3) << pair.edit;
    EXPECT_GE(edit.bottom(), pair.labelTop + 10) << pair.edit;
  }
  // The database list lies inside the source frame, the destination edit
  // inside the destination frame.
  const QRect list = page.findChild<QListWidget*>("databases")->geometry();
  EXPECT_TRUE(QRect(QPoint(49, 135), QPoint(620, 354)).contains(list));
  const QRect destination = page.findChild<QLineEdit*>("destination")->geometry();
  EXPECT_TRUE(QRect(QPoint(49, 390), QPoint(620, 450)).contains(destination));
  // The title strip: the text colour appears, on the strip's background.
  bool red = false;
  for (int x = 50; x < 630 && !red; ++x)
    for (int y = 70; y < 103 && !red; ++y) red = at(image, x, y) == QColor(220, 28, 34);
  EXPECT_TRUE(red) << "no title text painted";
  EXPECT_TRUE(hasColour(image, 629, 102, QColor(220, 240, 240)));
}

TEST(Painting, ImageButtonsDrawThePressedImageWhileHeldDown) {
  QWidget host;
  host.resize(200, 100);
  ui::ImageButton button(&host, QRect(10, 10, 40, 20));  // smaller than the image: clipped
  button.loadBitmaps(129, 139);
  host.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  const QImage normal = ui::bitmap(129).toImage().convertToFormat(QImage::Format_RGB32);
  const QImage pressed = ui::bitmap(139).toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(normal.size(), QSize(90, 27));
  ASSERT_NE(normal, pressed);
  QImage shown = uitest::grabWidget(&button);
  ASSERT_EQ(shown.size(), QSize(40, 20));
  EXPECT_EQ(shown, normal.copy(0, 0, 40, 20)) << "unscaled from the top-left corner, clipped";
  button.setDown(true);
  shown = uitest::grabWidget(&button);
  EXPECT_EQ(shown, pressed.copy(0, 0, 40, 20));
  // Focus changes nothing: no focus rectangle.
  button.setDown(false);
  button.setFocus();
  EXPECT_EQ(uitest::grabWidget(&button), normal.copy(0, 0, 40, 20));
}

TEST(Painting, NoticesPaintTheirTextOnARowGradient) {
  ui::Cmessage2 notice;
  notice.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&notice));
  const QImage image = uitest::grabWidget(&notice);
  // About 138 px high with its frame: red steps by one per row, nothing else.
  EXPECT_TRUE(hasColour(image, 2, 0, QColor(239, 240, 240)));
  EXPECT_TRUE(hasColour(image, 2, 100, QColor(139, 240, 240)));
  EXPECT_TRUE(hasColour(image, 279, 32, QColor(212, 240, 240)));
  bool text = false;
  for (int x = 10; x < 280 && !text; ++x)
    for (int y = 20; y < 33 && !text; ++y) text = at(image, x, y) == QColor(0, 64, 128);
  EXPECT_TRUE(text);

  ui::CUpdateDriver driver;
  driver.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&driver));
  const QImage flat = uitest::grabWidget(&driver);
  EXPECT_TRUE(hasColour(flat, 2, 2, QColor(200, 240, 240)));
  EXPECT_TRUE(hasColour(flat, 530, 100, QColor(200, 240, 240)));
}

}  // namespace
