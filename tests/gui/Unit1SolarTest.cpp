// The main window's solar controls: the helioprojective readout, the title,
// the "Header" window, the colour-table control and "Export"; and the
// screenshots of the AIA sample in its channel colours and of the header.
#include <QComboBox>
#include <QFontInfo>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTest>
#include <cstdlib>

#include "FitsHeader.h"
#include "GuiSupport.h"
#include "HeaderWindow.h"

using namespace obra;
using namespace obra::test;

namespace {

constexpr int SkyW = 700, SkyH = 600;  // the fixture's image size

// A 16-bit AIA 171 image of the fixture's size with a TAN coordinate system.
void WriteSkyFits(const std::string& File) {
  WriteFitsSamples(
      File, SkyW, SkyH, Pattern, 32768,
      {Card("TELESCOP", "'SDO/AIA'"), Card("WAVELNTH", "171"), Card("CTYPE1", "'HPLN-TAN'"),
       Card("CTYPE2", "'HPLT-TAN'"), Card("CUNIT1", "'arcsec'"), Card("CUNIT2", "'arcsec'"),
       Card("CDELT1", "2.4"), Card("CDELT2", "2.4"), Card("CRPIX1", "350.5"),
       Card("CRPIX2", "300.5"), Card("RSUN_OBS", "960.0"), Card("COMMENT", "a comment card")});
}

std::string Joined(const std::vector<std::string>& Lines) {
  std::string T;
  for (const std::string& L : Lines) T += (T.empty() ? "" : "\n") + L;
  return T;
}

}  // namespace

TEST_F(Window, SkyReadoutAndTitleFollowTheImage) {
  EXPECT_EQ(Form->windowTitle(), "OBRA 1.0");
  ExpectEnabled({"SpeedButtonHeader", "SpeedButtonExport"}, false);
  const std::string Sky = Dir.File("sky.fits");
  WriteSkyFits(Sky);
  ASSERT_TRUE(Open(Sky));
  EXPECT_EQ(Form->windowTitle(), "OBRA 1.0 - sky.fits");
  ExpectEnabled({"SpeedButtonHeader", "SpeedButtonExport"}, true);

  Click("SpeedButton2");
  QTest::mouseMove(Find("Image1"), QPoint(50, 100));
  EXPECT_EQ(Text("PanelCoordinates"), "[ 100, 200 ]");  // the fixed panel is unchanged
  const SkyPosition P = ReadoutToSky(*ReadSolarWcs(Global.Image.HeaderCards), H, 100, 200);
  EXPECT_NEAR(P.Tx, (101 - 350.5) * 2.4, 0.01);
  EXPECT_EQ(Text("PanelSolar").toStdString(), "Tx " + FormatFixed(P.Tx, 2) + "\"  Ty " +
                                                  FormatFixed(P.Ty, 2) + "\"  R " +
                                                  FormatFixed(*P.R, 3));

  // An image without coordinates adds nothing.
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(Form->windowTitle(), "OBRA 1.0 - x.fits");
  QTest::mouseMove(Find("Image1"), QPoint(51, 100));
  EXPECT_EQ(Text("PanelCoordinates"), "[ 102, 200 ]");
  EXPECT_EQ(Text("PanelSolar"), "");
}

TEST_F(Window, HeaderWindowListsTheStoredCardsAndFinds) {
  const std::string Sky = Dir.File("sky.fits");
  WriteSkyFits(Sky);
  ASSERT_TRUE(Open(Sky));
  Click("SpeedButtonHeader");
  THeaderWindow* Header = Form->HeaderWindow();
  ASSERT_NE(Header, nullptr);
  EXPECT_TRUE(Header->isVisible());
  EXPECT_FALSE(Header->isModal());
  EXPECT_EQ(Header->windowTitle(), "Header - sky.fits");
  auto* Memo = Header->findChild<QPlainTextEdit*>("MemoHeader");
  ASSERT_NE(Memo, nullptr);
  const std::string Shown = Memo->toPlainText().toStdString();
  EXPECT_EQ(Shown, Joined(HeaderLines(Global.Image.HeaderCards)));
  EXPECT_EQ(RunCli("header " + Sky, Dir).Out, Shown + "\n");
  EXPECT_TRUE(QFontInfo(Memo->font()).fixedPitch());

  auto* Find = Header->findChild<QLineEdit*>("EditFind");
  auto* Label = Header->findChild<QLabel*>("LabelFind");
  QTest::keyClicks(Find, "cdelt");
  EXPECT_EQ(Memo->textCursor().selectedText(), "CDELT");
  const int First = Memo->textCursor().blockNumber();
  QTest::keyClick(Find, Qt::Key_Return);
  EXPECT_EQ(Memo->textCursor().blockNumber(), First + 1);  // CDELT2 follows CDELT1
  QTest::keyClick(Find, Qt::Key_Return);
  EXPECT_EQ(Memo->textCursor().blockNumber(), First);  // wrapped round
  QTest::keyClicks(Find, "zz");
  EXPECT_EQ(Label->text(), "Not found");

  // The window stays open and follows the next image.
  ASSERT_TRUE(Open(Image));
  EXPECT_EQ(Header->windowTitle(), "Header - x.fits");
  EXPECT_EQ(Memo->toPlainText().toStdString(), Joined(HeaderLines(Global.Image.HeaderCards)));
}

// A tile-compressed image shows the header of the image it holds, the same
// cards as its uncompressed form, in the window and in obra-cli.
TEST_F(Window, HeaderOfACompressedImageIsTheImageHdus) {
  if (std::system("command -v fpack >/dev/null 2>&1") != 0) GTEST_SKIP() << "fpack absent";
  const std::string Sky = Dir.File("sky.fits"), Packed = Dir.File("packed.fits.fz");
  WriteSkyFits(Sky);
  ASSERT_EQ(std::system(("fpack -O " + Packed + " " + Sky + " >/dev/null 2>&1").c_str()), 0);
  const std::string Plain = RunCli("header " + Sky, Dir).Out;
  ASSERT_TRUE(Open(Packed));
  Click("SpeedButtonHeader");
  THeaderWindow* Header = Form->HeaderWindow();
  ASSERT_NE(Header, nullptr);
  EXPECT_EQ(Header->windowTitle(), "Header - packed.fits.fz");
  const std::string Shown =
      Header->findChild<QPlainTextEdit*>("MemoHeader")->toPlainText().toStdString();
  EXPECT_EQ(Shown + "\n", Plain);
  EXPECT_EQ(Shown.find("ZIMAGE"), std::string::npos);
  EXPECT_EQ(RunCli("header " + Packed, Dir).Out, Plain);
}

TEST_F(Window, ColourTableControlRecoloursTheView) {
  const std::string Sky = Dir.File("sky.fits");
  WriteSkyFits(Sky);
  ASSERT_TRUE(Open(Sky));
  auto* Combo = Find<QComboBox>("ComboBoxColourTable");
  EXPECT_TRUE(Find("PanelTop")->isAncestorOf(Combo));
  EXPECT_EQ(Combo->currentText(), "Grey");
  EXPECT_EQ(Combo->count(), 17);
  const QImage Grey = Shown();
  Combo->setCurrentText("Channel");
  EXPECT_EQ(Global.ColourTableName, "Channel");
  const QImage Coloured = Shown();
  EXPECT_FALSE(SamePixels(Grey, Coloured));
  const QColor Mid = Coloured.pixelColor(Coloured.width() / 2, Coloured.height() / 2);
  const TableColour Want =
      FindColourTable("AIA 171")->Table->at(qRed(Grey.pixel(Grey.width() / 2, Grey.height() / 2)));
  EXPECT_EQ(Mid, QColor(Want.Red, Want.Green, Want.Blue));
  Combo->setCurrentText("EIT 304");
  EXPECT_EQ(Global.ColourTableName, "EIT 304");
  Combo->setCurrentText("Grey");
  EXPECT_TRUE(SamePixels(Grey, Shown()));
}

TEST_F(Window, ExportWritesTheResultImage) {
  ASSERT_TRUE(Open(Image));
  Click("SpeedButtonExport");  // cancelled
  ASSERT_EQ(Script->SaveRequests.size(), 1u);
  EXPECT_EQ(Script->SaveRequests[0].FileName, "x_proc.fits");
  EXPECT_EQ(Script->SaveRequests[0].DefaultSuffix, "fits");
  EXPECT_TRUE(Script->SaveRequests[0].ConfirmOverwrite);
  EXPECT_FALSE(std::filesystem::exists(Dir.File("x_proc.fits")));

  const std::string Out = Dir.File("exported.fits");
  Script->SaveAnswers.push_back(FileAnswer{Out, 1});
  Click("SpeedButtonExport");
  ASSERT_TRUE(std::filesystem::exists(Out));
  EXPECT_TRUE(Script->Messages.empty());
  if (AstropyPython().empty()) GTEST_SKIP() << "astropy not available";
  ASSERT_TRUE(RunOracle("read " + Out + " " + Dir.File("back.raw")));
  EXPECT_EQ(Samples16(ReadBytes(Dir.File("back.raw"))), Global.ResultImage);

  Script->SaveAnswers.push_back(FileAnswer{Dir.File("missing/out.fits"), 1});
  Click("SpeedButtonExport");
  EXPECT_EQ(Script->Messages.size(), 1u);
}

TEST_F(Window, ScreenshotsOfChannelColoursAndHeader) {
  const std::string Aia = CopySharedImage("aia_193_2013-06-24T17-31-30_1024.fits", Dir);
  if (Aia.empty()) GTEST_SKIP() << "shared AIA sample absent";
  ASSERT_TRUE(Open(Aia));
  Find<QComboBox>("ComboBoxColourTable")->setCurrentText("Channel");
  QTest::mouseMove(Find("Image1"), QPoint(100, 60));
  const QPixmap Shot = Form->grab();
  EXPECT_TRUE(Shot.save(QStringLiteral(OBRA_BIN_DIR "/../gui-channel-colours.png")));
  Click("SpeedButtonHeader");
  QTest::keyClicks(Form->HeaderWindow()->findChild<QLineEdit*>("EditFind"), "R_SUN");
  const QPixmap HeaderShot = Form->HeaderWindow()->grab();
  EXPECT_TRUE(HeaderShot.save(QStringLiteral(OBRA_BIN_DIR "/../gui-header.png")));
}
