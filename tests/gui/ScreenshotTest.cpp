// The main window with the AIA sample activated over a ROI at 1:2 with the
// time overlay, under the distributed configuration, grabbed into the build
// folder (gui-screenshot.png) for people to look at.
#include <QCheckBox>
#include <QPixmap>
#include <QTest>

#include "GuiSupport.h"

using namespace obra;
using namespace obra::test;

namespace {

// Puts the small test configuration back whatever the test's outcome.
struct RestoreTestConfiguration {
  TempDir Dir;
  ~RestoreTestConfiguration() { UseTestConfiguration(Dir.Path()); }
};

}  // namespace

TEST_F(Window, ScreenshotOfAnActivatedRoi) {
  const std::string Aia = CopySharedImage("aia_193_2013-06-24T17-31-30_1024.fits", Dir);
  if (Aia.empty()) GTEST_SKIP() << "shared AIA sample absent";
  RestoreTestConfiguration Restore;
  TempDir Config;
  ASSERT_TRUE(UseDistributedConfiguration(Config.Path()));

  ASSERT_TRUE(Open(Aia));
  Click("SpeedButton2");
  ChooseRoi(1);
  ActivateAndWait();
  QTest::mouseClick(Find<QCheckBox>("CheckBoxAddText"), Qt::LeftButton);
  QTest::mouseMove(Find<QWidget>("Image1"), QPoint(300, 200));
  EXPECT_EQ(Text("PanelEqWeight"), "0.30");  // Obra193 of the distributed file
  EXPECT_EQ(Text("PanelCoordinates"), "[ 600, 400 ]");
  EXPECT_TRUE(Find<QWidget>("ShapeRoi")->isVisible());

  const QPixmap Shot = Form->grab();
  const QString File = QStringLiteral(OBRA_BIN_DIR "/../gui-screenshot.png");
  ASSERT_TRUE(Shot.save(File)) << File.toStdString();
  EXPECT_EQ(Shot.size(), Form->size() * Shot.devicePixelRatio());
}
