// The configuration editor: buttons, dialogs, checks before writing, and
// what "Apply and Save" does to the open image.
#include <QDialog>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <filesystem>

#include "AtomicWrite.h"
#include "GuiSupport.h"
#include "IniEditor.h"
#include "IniFile.h"

using namespace obra;
using namespace obra::test;
namespace fs = std::filesystem;

namespace {

constexpr const char* TestIni =
    "KerSize 3\r\nNRSigma 2\r\nGlobalB 1\r\nLocalB 0\r\nGlobalW 1\r\nLocalW 0\r\n"
    "Gamma193 30\r\nObra193 10\r\nKerS_20  1\r\nKerS_10  0.5\r\n";

class Editor : public Window {
 protected:
  void SetUp() override {
    Window::SetUp();
    WriteText(Config.File("OBRA.ini"), TestIni);
    ProgramDir = Config.Path();
    ASSERT_FALSE(GetIniFile().Fatal);
  }
  void TearDown() override {
    SetWriteFaultHook(nullptr);
    Window::TearDown();
  }
  TFormIniEdit* Edit() const {
    return Form->findChild<TFormIniEdit*>(QStringLiteral("FormIniEdit"));
  }
  QPlainTextEdit* Memo() const {
    return Edit()->findChild<QPlainTextEdit*>(QStringLiteral("MemoIni"));
  }
  QToolButton* Button(const char* Name) const {
    return Edit()->findChild<QToolButton*>(QString::fromLatin1(Name));
  }
  void Press(const char* Name) { QTest::mouseClick(Button(Name), Qt::LeftButton); }
  void ShowEditor() {
    Click("SpeedButtonEditIni");
    ASSERT_TRUE(Edit()->isVisible());
  }
  // Replaces the memo's text as a user would, with one edit.
  void Type(const std::string& Text) {
    Memo()->selectAll();
    Memo()->insertPlainText(QString::fromStdString(Text).remove(QLatin1Char('\r')));
  }
  std::string Ini() const { return ReadText(Config.File("OBRA.ini")); }

  TempDir Config;
};

}  // namespace

TEST_F(Editor, ShowsTheFileAndCancelChangesNothing) {
  ShowEditor();
  EXPECT_EQ(Edit()->windowTitle(), "OBRA.ini");
  EXPECT_TRUE(Edit()->isModal());
  EXPECT_EQ(Edit()->FileText(), TestIni);
  EXPECT_TRUE(QFontInfo(Memo()->font()).fixedPitch());
  EXPECT_EQ(Memo()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  const QLabel* Warning = Edit()->findChild<QLabel*>(QStringLiteral("LabelWarning"));
  EXPECT_EQ(Warning->text(), "Warning: Correctness of set values is not checked by the program.");
  EXPECT_TRUE(Warning->font().bold());
  QStringList Captions;
  for (const char* N : {"SpeedButtonApply", "SpeedButtonDefault", "SpeedButtonSaveAs",
                        "SpeedButtonOpen", "SpeedButtonCancel"})
    Captions << Button(N)->text();
  EXPECT_EQ(Captions, (QStringList{"Apply and Save", "Default", "Save as ...", "Load", "Cancel"}));

  Type("KerSize 5\n");
  Press("SpeedButtonCancel");
  EXPECT_FALSE(Edit()->isVisible());
  EXPECT_EQ(Ini(), TestIni);
  EXPECT_EQ(Params.KerSize, 3);
  // Opening again reloads the file: the edit is gone.
  ShowEditor();
  EXPECT_EQ(Edit()->FileText(), TestIni);
}

TEST_F(Editor, TypingEnablesApplyAndShowingAgainDisablesIt) {
  ShowEditor();
  EXPECT_FALSE(Button("SpeedButtonApply")->isEnabled());
  Memo()->setFocus();
  QTest::keyClick(Memo(), Qt::Key_X);
  EXPECT_TRUE(Button("SpeedButtonApply")->isEnabled());
  Press("SpeedButtonCancel");
  ShowEditor();
  EXPECT_FALSE(Button("SpeedButtonApply")->isEnabled());
}

TEST_F(Editor, DefaultAndLoadReplaceTheTextOnly) {
  WriteText(Config.File("Default.ini"), "KerSize 4\r\nNRSigma 3\r\n");
  ShowEditor();
  Press("SpeedButtonDefault");
  EXPECT_EQ(Edit()->FileText(), "KerSize 4\r\nNRSigma 3\r\n");
  EXPECT_TRUE(Button("SpeedButtonApply")->isEnabled());
  Press("SpeedButtonCancel");
  EXPECT_EQ(Ini(), TestIni);

  ShowEditor();
  WriteText(Dir.File("mine.ini"), "KerSize 2\nNRSigma 1\n");
  Script->OpenAnswers.push_back(FileAnswer{Dir.File("mine.ini"), 1});
  Press("SpeedButtonOpen");
  ASSERT_EQ(Script->OpenRequests.size(), 1u);
  const FileRequest& R = Script->OpenRequests[0];
  EXPECT_EQ(R.Title, "Load save INI file");
  ASSERT_EQ(R.Filters.size(), 1u);
  EXPECT_EQ(QtFilterText(R.Filters[0]), "INI file (*.ini)");
  EXPECT_EQ(R.DefaultSuffix, "ini");
  EXPECT_EQ(R.InitialDir, Config.Path().string());
  EXPECT_EQ(Edit()->FileText(), "KerSize 2\r\nNRSigma 1\r\n");
  EXPECT_TRUE(Button("SpeedButtonApply")->isEnabled());

  // A file that cannot be read leaves text and button as they were.
  fs::remove(Config.File("Default.ini"));
  Press("SpeedButtonCancel");
  ShowEditor();
  Press("SpeedButtonDefault");
  EXPECT_EQ(Script->Messages.size(), 1u);
  EXPECT_EQ(Edit()->FileText(), TestIni);
  EXPECT_FALSE(Button("SpeedButtonApply")->isEnabled());
}

TEST_F(Editor, SaveAsRefusesTheReservedNames) {
  ShowEditor();
  fs::create_directories(Dir.Path() / "elsewhere");
  for (const char* Name : {"elsewhere/default.ini", "DeFault.INI", "obra.ini"})
    Script->SaveAnswers.push_back(FileAnswer{Dir.File(Name), 1});
  for (int I = 0; I < 3; ++I) Press("SpeedButtonSaveAs");
  EXPECT_EQ(Script->Messages,
            std::vector<std::string>(3,
                                     "It is not possible to use file names OBRA.INI and "
                                     "DEFAULT.INI"));
  EXPECT_FALSE(fs::exists(Dir.File("elsewhere/default.ini")));
  EXPECT_FALSE(fs::exists(Dir.File("DeFault.INI")));
  ASSERT_EQ(Script->SaveRequests.size(), 3u);
  EXPECT_EQ(Script->SaveRequests[0].Title, "Save INI file as ...");
  EXPECT_TRUE(Script->SaveRequests[0].ConfirmOverwrite);
  EXPECT_EQ(Script->SaveRequests[0].InitialDir, Config.Path().string());

  Script->SaveAnswers.push_back(FileAnswer{Dir.File("night.ini"), 1});
  Press("SpeedButtonSaveAs");
  EXPECT_EQ(ReadText(Dir.File("night.ini")), TestIni);
  EXPECT_EQ(Ini(), TestIni);
}

TEST_F(Editor, AFatalTextIsNeverWritten) {
  ShowEditor();
  Type("KerSize 3\nNRSigma 151\n");
  Press("SpeedButtonApply");
  EXPECT_EQ(Script->Messages,
            std::vector<std::string>{
                "Incorect value of NRSigma in OBRA.ini file. NRSigma<150 Impossible to continue."});
  EXPECT_EQ(Ini(), TestIni);
  EXPECT_EQ(Params.NRSigma, 2);
  EXPECT_TRUE(Edit()->isVisible());
  EXPECT_EQ(Edit()->FileText(), "KerSize 3\r\nNRSigma 151\r\n");

  Type("KerSize 65\nNRSigma 2\n");
  Press("SpeedButtonApply");
  EXPECT_EQ(Script->Messages.size(), 2u);
  EXPECT_EQ(Ini(), TestIni);
  EXPECT_EQ(Params.KerSize, 3);
  Press("SpeedButtonCancel");
}

TEST_F(Editor, AFailedWriteKeepsTheOldFileAndTheEditor) {
  ShowEditor();
  Type("KerSize 4\nNRSigma 2\n");
  SetWriteFaultHook(
      [](std::string_view Step, const std::string&) { return Step == "rename" ? EACCES : 0; });
  Press("SpeedButtonApply");
  EXPECT_EQ(Script->Messages.size(), 1u);
  EXPECT_EQ(Ini(), TestIni);
  EXPECT_EQ(Params.KerSize, 3);
  EXPECT_TRUE(Edit()->isVisible());
  Press("SpeedButtonCancel");
}

TEST_F(Editor, ApplyWithoutAnImageRereadsAndLeavesActivateOff) {
  ShowEditor();
  Type("KerSize 4\nNRSigma 2\n");
  Press("SpeedButtonApply");
  EXPECT_FALSE(Edit()->isVisible());
  EXPECT_EQ(Ini(), "KerSize 4\r\nNRSigma 2\r\n");
  EXPECT_EQ(Params.KerSize, 4);
  EXPECT_EQ(Params.Gamma193, 30);  // keys not in the text keep their values
  EXPECT_TRUE(Script->Questions.empty());
  EXPECT_FALSE(Enabled("SpeedButtonEnableEQ"));
  EXPECT_EQ(Global.Image1Version, 0u);
}

TEST_F(Editor, ApplyAfterARoiActivationAsksNothingButSwitchesItOff) {
  ASSERT_TRUE(Open(Image));
  ChooseRoi(1);
  ActivateAndWait();
  ASSERT_NE(Text("PanelEqWeight"), "Not active");
  ShowEditor();
  Type(std::string(TestIni) + "LocalW 0.5\n");
  Press("SpeedButtonApply");
  EXPECT_TRUE(Script->Questions.empty());
  EXPECT_EQ(Text("PanelEqWeight"), "Not active");
  EXPECT_TRUE(Enabled("SpeedButtonEnableEQ"));
  EXPECT_FLOAT_EQ(Params.LocalW, 0.5f);
}

TEST_F(Editor, ApplyAfterAWholeFrameActivationAsksAboutTheCache) {
  ASSERT_TRUE(Open(Image));
  ActivateAndWait();
  ASSERT_TRUE(fs::exists(Global.ActFileName));
  const std::string Act = Global.ActFileName;

  ShowEditor();
  Type(TestIni);
  Script->YesNoAnswers.push_back(false);
  Press("SpeedButtonApply");
  EXPECT_EQ(Script->Questions,
            std::vector<std::string>{"Delete the activation data for old setting?"});
  EXPECT_TRUE(fs::exists(Act));
  EXPECT_EQ(Text("PanelEqWeight"), "Not active");
  EXPECT_FALSE(Global.ActivationReady);

  ASSERT_TRUE(Open(Image));  // the cached data are found again
  ASSERT_TRUE(Global.ActivationReady);
  ShowEditor();
  Type(TestIni);
  Script->YesNoAnswers.push_back(true);
  Press("SpeedButtonApply");
  EXPECT_FALSE(fs::exists(Act));
  EXPECT_EQ(Text("PanelEqWeight"), "Not active");
  EXPECT_TRUE(Script->Messages.empty());
}

TEST_F(Editor, DeletingAMissingActivationFileCompletesTheOtherSteps) {
  ASSERT_TRUE(Open(Image));
  Click("CheckBoxAutoSaveActivated");  // untick: the activation is not stored
  ActivateAndWait();
  ASSERT_TRUE(Global.ActivationReady);
  ASSERT_FALSE(fs::exists(Global.ActFileName));
  ShowEditor();
  Type(TestIni);
  Script->YesNoAnswers.push_back(true);
  Press("SpeedButtonApply");
  EXPECT_EQ(Script->Questions.size(), 1u);
  EXPECT_TRUE(Script->Messages.empty());
  EXPECT_FALSE(Edit()->isVisible());
  EXPECT_EQ(Text("PanelEqWeight"), "Not active");
  EXPECT_TRUE(Enabled("SpeedButtonEnableEQ"));
}

TEST_F(Editor, ShowsTheDistributedFile) {
  const std::vector<uint8_t> Shipped = ReadBytes(OBRA_SOURCE_DIR "/dist/OBRA.ini");
  ASSERT_FALSE(Shipped.empty());
  WriteBytes(Config.File("OBRA.ini"), Shipped);
  ShowEditor();
  // The same lines, each ended by CR LF.
  const std::string Text = Edit()->FileText();
  EXPECT_EQ(Text.size(), Shipped.size() + std::count(Shipped.begin(), Shipped.end(), '\n'));
  // Every caption is whole at the editor's size.
  for (const char* N : {"SpeedButtonApply", "SpeedButtonSaveAs"})
    EXPECT_GE(Button(N)->width(), Button(N)->sizeHint().width()) << N;
  const QPixmap Shot = Edit()->grab();
  EXPECT_TRUE(Shot.save(QStringLiteral(OBRA_BIN_DIR "/../gui-editor.png")));
  Press("SpeedButtonCancel");
}
