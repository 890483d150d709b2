// The batch dialog driven through its widgets: selection, run order and
// progress, naming rules, the overwrite question, the cache, closing and
// broken files.
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include "Batch.h"
#include "GuiSupport.h"

namespace fs = std::filesystem;

namespace obra::test {
namespace {

constexpr int Bw = 96, Bh = 80;

uint16_t Ramp(int X, int Y) { return static_cast<uint16_t>(200 + X * 5 + Y * 3); }

// A small image of channel 171 observed at DateObs.
void WriteChannelImage(const std::string& File, const std::string& DateObs) {
  std::vector<std::string> Cards = ImageCards(16, Bw, Bh);
  Cards.push_back(Card("BZERO", "32768"));
  Cards.push_back(Card("WAVELNTH", "171"));
  Cards.push_back(Card("DATE-OBS", "'" + DateObs + "'"));
  std::vector<int16_t> S;
  for (int Y = 0; Y < Bh; ++Y)
    for (int X = 0; X < Bw; ++X) S.push_back(static_cast<int16_t>(Ramp(X, Y) - 32768));
  WriteBytes(File, FitsFile(Cards, BigEndian(S)));
}

class BatchDialog : public Window {
 protected:
  void SetUp() override {
    Window::SetUp();
    Batch = new TFormBatch(*Form);  // owned by the main window
    Sub = Dir.Path() / "day";
    fs::create_directory(Sub);
  }

  // N images f0.fits .. f(N-1).fits in the "day" directory.
  void WriteDay(int N) {
    for (int I = 0; I < N; ++I) {
      std::string Name = std::to_string(I);
      Name.insert(0, 1, 'f');
      Name += ".fits";
      WriteFits(DayFile(Name), Bw, Bh, Ramp);
    }
  }
  std::string DayFile(const std::string& Name) const { return (Sub / Name).string(); }

  // Opens File in the main window and presses "Batch proc.".
  void ShowFor(const std::string& File) {
    ASSERT_TRUE(Open(File));
    Find<QTimer>("Timer1")->setInterval(5);
    Click("SpeedButtonBatch");
    QCoreApplication::processEvents();
    ASSERT_TRUE(Batch->isVisible());
  }
  QListWidget* List() const { return Batch->findChild<QListWidget*>("FileListBox1"); }
  QToolButton* Button(const char* Name) const { return Batch->findChild<QToolButton*>(Name); }
  QString Info() const { return Batch->findChild<QLabel*>("PanelInfo")->text(); }
  void Select(std::initializer_list<int> Rows) {
    for (int R : Rows) List()->item(R)->setSelected(true);
  }
  void Press(const char* Name) { QTest::mouseClick(Button(Name), Qt::LeftButton); }
  // Lets the run go on until the dialog has closed.
  bool WaitForEnd() {
    return QTest::qWaitFor([this] { return !Batch->isVisible(); }, 60000);
  }
  // Selects every file, presses Naming (a naming button) and Run, and lets the
  // run go on to its end (true) or for at most a minute (false).
  bool RunAll(const char* Naming) {
    Press("SpeedButtonSelectAll");
    Press(Naming);
    Press("SpeedButtonRun");
    return WaitForEnd();
  }
  std::vector<bool> Selection() const {
    std::vector<bool> S;
    for (int I = 0; I < List()->count(); ++I) S.push_back(List()->item(I)->isSelected());
    return S;
  }

  TFormBatch* Batch = nullptr;
  fs::path Sub;
};

TEST_F(BatchDialog, ShownWithNothingSelected) {
  WriteDay(3);
  WriteText(DayFile("notes.txt"), "x");
  ShowFor(DayFile("f0.fits"));
  EXPECT_EQ(Batch->windowTitle(), "Batch processing of images in directory:  day");
  EXPECT_EQ(List()->count(), 3);
  EXPECT_FALSE(Button("SpeedButtonRun")->isEnabled());
  EXPECT_FALSE(Button("SpeedButtonStop")->isEnabled());
  EXPECT_EQ(Info(), "Selected   0");
  EXPECT_EQ(Colour(Batch->findChild<QLabel*>("PanelInfo")), QColor(192, 192, 192));
  EXPECT_TRUE(Button("SpeedButtonProcessFull")->isChecked());
  EXPECT_TRUE(Button("SpeedButtonTime")->isChecked());
  EXPECT_FALSE(Button("SpeedButtonProcessRoi")->isEnabled());
  EXPECT_EQ(Batch->windowModality(), Qt::ApplicationModal);
  Select({1});
  EXPECT_TRUE(Button("SpeedButtonRun")->isEnabled());
  EXPECT_EQ(Info(), "Selected   1");
  // "Activate only" turns the output names off; the mask filters the list.
  Press("SpeedButtonActivateOnly");
  EXPECT_FALSE(Button("SpeedButtonNumber")->isEnabled());
  Batch->findChild<QLineEdit*>("EditMask")->setText("F1*");
  EXPECT_EQ(List()->count(), 1);
  EXPECT_EQ(Info(), "Selected   0");
}

TEST_F(BatchDialog, ThreeOfTenInListOrder) {
  WriteDay(10);
  ShowFor(DayFile("f0.fits"));
  Select({7, 2, 4});
  Press("SpeedButtonNumber");
  std::vector<std::string> Opened, Captions;
  const auto Sync = Global.Batch.OnChange;
  Global.Batch.OnChange = [&] {
    const std::string& Caption = Global.Batch.PanelInfo.Caption;
    if (Global.Batch.Running && (Captions.empty() || Captions.back() != Caption)) {
      Captions.push_back(Caption);
      Opened.push_back(Global.Batch.Files[Global.Batch.ListPosition]);
    }
    Sync();
  };
  Press("SpeedButtonRun");
  EXPECT_FALSE(Button("SpeedButtonRun")->isEnabled());
  EXPECT_FALSE(List()->isEnabled());  // locked while the run goes
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(Opened, (std::vector<std::string>{"f2.fits", "f4.fits", "f7.fits"}));
  EXPECT_EQ(Captions, (std::vector<std::string>{"Processing   1 of 3", "Processing   2 of 3",
                                                "Processing   3 of 3"}));
  EXPECT_EQ(Selection(), std::vector<bool>(10, false));
  for (const char* Out : {"0001.png", "0002.png", "0003.png"})
    EXPECT_TRUE(fs::exists(DayFile(Out))) << Out;
  EXPECT_FALSE(fs::exists(DayFile("0004.png")));
  EXPECT_EQ(Global.ImageFileName, DayFile("f7.fits"));
}

TEST_F(BatchDialog, NumberSkippedWithNoKeepsItsNumber) {
  WriteDay(3);
  WriteText(DayFile("0002.png"), "old");
  ShowFor(DayFile("f0.fits"));
  Script->QuestionAnswers.push_back(Answer::No);
  ASSERT_TRUE(RunAll("SpeedButtonNumber"));
  ASSERT_EQ(Script->Questions.size(), 1u);
  EXPECT_EQ(Script->Questions[0], "File " + DayFile("0002.png") +
                                      " already exists! Overwrite the file?\rNo will skip saving "
                                      "this file.\rCancel will stop the batch.");
  EXPECT_EQ(ReadText(DayFile("0002.png")), "old");
  EXPECT_TRUE(fs::exists(DayFile("0003.png")));
}

TEST_F(BatchDialog, NamesFromChannelTimeAndFileName) {
  WriteChannelImage(DayFile("a.b.fits"), "2013-05-21T12:34:56.78");
  ShowFor(DayFile("a.b.fits"));
  for (const char* Naming :
       {"SpeedButtonTime", "SpeedButtonFileNamePref", "SpeedButtonFileNameSuf"}) {
    ASSERT_TRUE(RunAll(Naming)) << Naming;
    Click("SpeedButtonBatch");
  }
  EXPECT_TRUE(fs::exists(DayFile("0171A_2013_05_21T12_34_56_78.png")));
  EXPECT_TRUE(fs::exists(DayFile("Proc_a.b.png")));
  EXPECT_TRUE(fs::exists(DayFile("a.b_Proc.png")));
}

TEST_F(BatchDialog, CancelAtTheQuestionWritesNothing) {
  WriteDay(3);
  WriteText(DayFile("0002.png"), "old");
  ShowFor(DayFile("f0.fits"));
  ASSERT_TRUE(RunAll("SpeedButtonNumber"));  // the question's queue is empty: Cancel
  EXPECT_EQ(Script->Questions.size(), 1u);
  EXPECT_EQ(ReadText(DayFile("0002.png")), "old");
  EXPECT_FALSE(fs::exists(DayFile("0003.png")));
  EXPECT_EQ(Selection(), (std::vector<bool>{false, true, true}));
}

TEST_F(BatchDialog, CachedFileSavedWithoutTheEngine) {
  WriteDay(2);
  ASSERT_TRUE(Open(DayFile("f1.fits")));
  ActivateAndWait();  // "Auto save" is ticked: f1.act is stored
  ASSERT_TRUE(fs::exists(DayFile("Activation_Data/f1.act")));
  ShowFor(DayFile("f1.fits"));
  Select({1});
  Press("SpeedButtonFileNamePref");
  Press("SpeedButtonRun");
  // Saved at once, in the click: no worker was started.
  EXPECT_FALSE(Batch->isVisible());
  EXPECT_FALSE(Global.Timer1Enabled);
  EXPECT_TRUE(fs::exists(DayFile("Proc_f1.png")));
}

TEST_F(BatchDialog, ClosingDuringARunIsRefused) {
  WriteDay(2);
  ShowFor(DayFile("f0.fits"));
  Find<QTimer>("Timer1")->setInterval(2000);  // the activation stays unfinished a while
  Press("SpeedButtonSelectAll");
  Press("SpeedButtonRun");
  ASSERT_TRUE(Global.Timer1Enabled);
  Batch->close();
  EXPECT_TRUE(Batch->isVisible());
  ASSERT_FALSE(Script->Messages.empty());
  EXPECT_EQ(Script->Messages.back(), "Batch is running. If you want to stop it use botton Stop.");
  EXPECT_FALSE(Button("SpeedButtonRun")->isEnabled());
  EXPECT_TRUE(Button("SpeedButtonStop")->isEnabled());
  Press("SpeedButtonStop");
  EXPECT_FALSE(Batch->isVisible());
  // The activation in progress ends in the main window; no further file is taken.
  Find<QTimer>("Timer1")->setInterval(5);
  EXPECT_TRUE(QTest::qWaitFor([] { return !Global.Timer1Enabled; }, 60000))
      << "the activation did not end";
  EXPECT_FALSE(fs::exists(DayFile("Activation_Data/f1.act")));
}

TEST_F(BatchDialog, BrokenFileSkippedWithItsMessage) {
  WriteDay(2);
  WriteText(DayFile("f00.fits"), "SIMPLE  =                    T");
  ShowFor(DayFile("f0.fits"));
  ASSERT_TRUE(RunAll("SpeedButtonFileNamePref"));
  EXPECT_FALSE(Script->Messages.empty());
  EXPECT_FALSE(fs::exists(DayFile("Proc_f00.png")));
  EXPECT_TRUE(fs::exists(DayFile("Proc_f0.png")));
  EXPECT_TRUE(fs::exists(DayFile("Proc_f1.png")));
  EXPECT_EQ(Global.Batch.Failed, 1);
}

}  // namespace
}  // namespace obra::test
