// "&Save" in the window: the dialog's entries and preselection, the four
// modes compared with what was rendered, the save without a dialog.
#include <QImage>
#include <filesystem>

#include "GuiSupport.h"

using namespace obra;
using namespace obra::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> FilterNames(const FileRequest& R) {
  std::vector<std::string> N;
  for (const FileFilter& F : R.Filters) N.push_back(F.Name);
  return N;
}

}  // namespace

TEST_F(Window, SaveDialogWithoutARoiAndAFailedSave) {
  ASSERT_TRUE(Open(Image));
  Click("SpeedButtonSave");  // cancelled
  ASSERT_EQ(Script->SaveRequests.size(), 1u);
  const FileRequest& R = Script->SaveRequests[0];
  EXPECT_EQ(R.Title, "Save image as ...");
  EXPECT_EQ(FilterNames(R), (std::vector<std::string>{"PNG - Full frame, full resolution",
                                                      "PNG - Full frame, scaled"}));
  EXPECT_EQ(R.Filters[0].Patterns, std::vector<std::string>{"*.png"});
  EXPECT_EQ(R.SelectedFilter, 1);
  EXPECT_EQ(R.FileName, "x_proc");
  EXPECT_EQ(R.InitialDir, Dir.Path().string());
  EXPECT_TRUE(R.ConfirmOverwrite);
  EXPECT_EQ(R.DefaultSuffix, "png");
  EXPECT_TRUE(Script->Messages.empty());

  Script->SaveAnswers.push_back(FileAnswer{Dir.File("no/such/dir/x.png"), 1});
  Click("SpeedButtonSave");
  EXPECT_EQ(Script->Messages.size(), 1u);
  EXPECT_TRUE(Enabled("SpeedButtonSave"));
}

TEST_F(Window, EachSaveModeWritesWhatWasRendered) {
  ASSERT_TRUE(Open(Image));
  Click("SpeedButton3");
  ChooseRoi(1);
  Click("CheckBoxAddText");
  const int32_t L = Global.RoiLeft, T = Global.RoiTop;

  // The full-resolution picture as the renderer draws it, time text included.
  Picture24 Full;
  TimeOverlay O;
  O.Text = Global.PanelTime.Caption;
  O.FontTable = Global.TimeFontTable;
  O.RoiLeft = L;
  O.RoiTop = T;
  O.RoiHeight = Global.RoiHeight;
  ASSERT_TRUE(RenderImage(Full, Global.Image, Global.ResultImage, 1, DisplayLut, &O));
  const QImage FullImage = ToQImage(Full), View = Shown();
  const QImage Expected[] = {FullImage, View, FullImage.copy(L, T, 512, 512),
                             View.copy(L / 3, T / 3, 512 / 3, 512 / 3)};

  for (int Mode = 1; Mode <= 4; ++Mode) {
    const std::string Out = Dir.File("out" + std::to_string(Mode) + ".png");
    Script->SaveAnswers.push_back(FileAnswer{Out, Mode});
    Click("SpeedButtonSave");
    ASSERT_EQ(Script->SaveRequests.size(), size_t(Mode));
    const FileRequest& R = Script->SaveRequests.back();
    EXPECT_EQ(R.SelectedFilter, 3);  // "PNG - ROI, full resolution" with a ROI
    ASSERT_EQ(FilterNames(R).size(), 4u);
    EXPECT_EQ(FilterNames(R)[3], "PNG - ROI, scalled");
    EXPECT_TRUE(SamePixels(QImage(QString::fromStdString(Out)), Expected[Mode - 1]))
        << "mode " << Mode;
  }
  EXPECT_TRUE(Script->Messages.empty());

  // Without a sender the stored name and mode are used and nothing is asked.
  fs::remove(Dir.File("out4.png"));
  Form->SpeedButtonSaveClick(false);
  EXPECT_EQ(Script->SaveRequests.size(), 4u);
  EXPECT_TRUE(SamePixels(QImage(QString::fromStdString(Dir.File("out4.png"))), Expected[3]));
}
