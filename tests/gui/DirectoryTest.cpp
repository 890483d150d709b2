// The directory browser, "<" and ">", and Page Up / Page Down.
#include <QApplication>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include "Directory.h"
#include "GuiSupport.h"

using namespace obra;
using namespace obra::test;
namespace fs = std::filesystem;

namespace {

class Browser : public Window {
 protected:
  // A folder "night" holding Names, each a small image; returns its path.
  std::string Night(std::initializer_list<const char*> Names) {
    const fs::path Folder = Dir.Path() / "night";
    fs::create_directories(Folder);
    for (const char* N : Names) WriteFits((Folder / N).string(), 64, 48, Pattern);
    return Folder.string();
  }
  std::string In(const std::string& Folder, const char* Name) {
    return (fs::path(Folder) / Name).string();
  }
  TFormDir* FormDir() const { return Form->findChild<TFormDir*>(QStringLiteral("FormDir")); }
  QListWidget* List() const {
    return FormDir()->findChild<QListWidget*>(QStringLiteral("FileListBox1"));
  }
  QStringList Listed() const {
    QStringList L;
    for (int I = 0; I < List()->count(); ++I) L << List()->item(I)->text();
    return L;
  }
  // A key pressed in the main window reaches its focused control first.
  void Press(Qt::Key Key) {
    QWidget* Focus = QApplication::focusWidget();
    QTest::keyClick(Focus && Focus->window() == Form.get() ? Focus : Form.get(), Key);
    QCoreApplication::processEvents();
  }
  void ShowBrowser() {
    Click("SpeedButtonDir");
    ASSERT_TRUE(FormDir()->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormDir()));
    QCoreApplication::processEvents();
  }
};

}  // namespace

TEST_F(Browser, ListsTheImagesOfTheSameExtensionAndSteps) {
  const std::string Folder = Night({"b.FITS", "a.fits", "c.fit"});
  ASSERT_TRUE(Open(In(Folder, "a.fits")));
  EXPECT_FALSE(Enabled("SpeedButtonPrevious"));
  EXPECT_TRUE(Enabled("SpeedButtonNext"));
  EXPECT_EQ(Listed(), (QStringList{"a.fits", "b.FITS"}));  // c.fit is another extension
  EXPECT_EQ(List()->currentRow(), 0);

  Click("SpeedButtonNext");
  EXPECT_EQ(Global.ImageName, "b.FITS");
  EXPECT_FALSE(Enabled("SpeedButtonNext"));
  EXPECT_TRUE(Enabled("SpeedButtonPrevious"));
  EXPECT_EQ(List()->currentRow(), 1);
  EXPECT_EQ(Script->OpenRequests.size(), 1u) << "stepping shows no open dialog";

  Click("SpeedButtonPrevious");
  EXPECT_EQ(Global.ImageName, "a.fits");
  EXPECT_FALSE(Enabled("SpeedButtonPrevious"));
}

TEST_F(Browser, ASingleFileHasNoNeighbours) {
  ASSERT_TRUE(Open(Image));
  EXPECT_FALSE(Enabled("SpeedButtonPrevious"));
  EXPECT_FALSE(Enabled("SpeedButtonNext"));
  Press(Qt::Key_PageDown);
  Press(Qt::Key_PageUp);
  EXPECT_EQ(Global.ImageFileName, Image);
  EXPECT_TRUE(Script->Messages.empty());
}

TEST_F(Browser, PageKeysFollowTheButtons) {
  const std::string Folder = Night({"a.fits", "b.fits", "c.fits"});
  ASSERT_TRUE(Open(In(Folder, "a.fits")));
  Press(Qt::Key_PageDown);
  EXPECT_EQ(Global.ImageName, "b.fits");
  Press(Qt::Key_PageDown);
  EXPECT_EQ(Global.ImageName, "c.fits");
  // ">" is disabled now: Page Down does nothing.
  Press(Qt::Key_PageDown);
  EXPECT_EQ(Global.ImageName, "c.fits");
  Press(Qt::Key_PageUp);
  EXPECT_EQ(Global.ImageName, "b.fits");

  // A focused control sees the key too, once; the step still happens once.
  Find("TrackBarGamma")->setFocus();
  Press(Qt::Key_PageUp);
  EXPECT_EQ(Global.ImageName, "a.fits");
}

TEST_F(Browser, PageKeysDoNothingDuringAnActivation) {
  const std::string Folder = Night({"a.fits", "b.fits"});
  ASSERT_TRUE(Open(In(Folder, "a.fits")));
  Find<QTimer>("Timer1")->setInterval(60000);  // the activation stays unfinished
  Click("SpeedButtonEnableEQ");
  ASSERT_TRUE(Global.Timer1Enabled);
  EXPECT_FALSE(Find("SpeedButtonNext")->isEnabled());
  Press(Qt::Key_PageDown);
  EXPECT_EQ(Global.ImageName, "a.fits");
  EXPECT_TRUE(Script->Messages.empty());
  Form->Timer1Timer();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        if (Global.Timer1Enabled) Form->Timer1Timer();
        return !Global.Timer1Enabled;
      },
      WaitLimitMs))
      << "the activation did not finish";
  Press(Qt::Key_PageDown);
  EXPECT_EQ(Global.ImageName, "b.fits");
}

TEST_F(Browser, DoubleClickAndEnterOpenAndClose) {
  const std::string Folder = Night({"a.fits", "b.fits", "c.fits"});
  ASSERT_TRUE(Open(In(Folder, "a.fits")));
  ShowBrowser();
  List()->setCurrentRow(2);
  const QRect Item = List()->visualItemRect(List()->item(2));
  ASSERT_FALSE(Item.isEmpty());
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, Item.center());
  QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, Item.center());
  EXPECT_EQ(Global.ImageName, "c.fits");
  EXPECT_FALSE(FormDir()->isVisible());
  EXPECT_FALSE(Enabled("SpeedButtonNext"));

  ShowBrowser();
  EXPECT_EQ(List()->currentRow(), 2);  // the list keeps its selection
  List()->setFocus();
  QTest::keyClick(List(), Qt::Key_Up);  // other keys move the selection
  QTest::keyClick(List(), Qt::Key_Return);
  EXPECT_EQ(Global.ImageName, "b.fits");
  EXPECT_FALSE(FormDir()->isVisible());
  EXPECT_TRUE(Enabled("SpeedButtonNext"));
  EXPECT_TRUE(Enabled("SpeedButtonPrevious"));
}

TEST_F(Browser, OpenWithoutASelectionDoesNothing) {
  const std::string Folder = Night({"a.fits", "b.fits"});
  ASSERT_TRUE(Open(In(Folder, "b.fits")));
  ShowBrowser();
  List()->setCurrentRow(-1);
  QTest::mouseClick(FormDir()->findChild<QToolButton*>(QStringLiteral("SpeedButtonOpen")),
                    Qt::LeftButton);
  EXPECT_EQ(Global.ImageName, "b.fits");
  EXPECT_TRUE(FormDir()->isVisible());
  FormDir()->close();
}

TEST_F(Browser, PlaceTitleAndLook) {
  const std::string Folder = Night({"aia_193_0000.fits", "aia_193_0012.fits", "aia_193_0024.fits",
                                    "aia_193_0036.fits", "aia_193_0048.fits", "aia_193_0100.fits"});
  ASSERT_TRUE(Open(In(Folder, "aia_193_0024.fits")));
  Form->move(40, 30);
  ShowBrowser();
  EXPECT_EQ(FormDir()->windowTitle(), "night");
  EXPECT_EQ(FormDir()->pos(), Form->pos());
  EXPECT_EQ(FormDir()->width(), 512);
  EXPECT_EQ(FormDir()->height(), Form->height());
  EXPECT_TRUE(FormDir()->isModal());
  const QToolButton* OpenButton =
      FormDir()->findChild<QToolButton*>(QStringLiteral("SpeedButtonOpen"));
  EXPECT_EQ(OpenButton->text(), "Open");
  EXPECT_EQ(OpenButton->toolTip(), "Open image (Double-click or Enter)");
  EXPECT_TRUE(List()->font().bold());
  EXPECT_EQ(List()->font().pixelSize(), 13);
  EXPECT_EQ(List()->palette().color(QPalette::Base), QColor(81, 69, 64));
  EXPECT_EQ(List()->palette().color(QPalette::Text), QColor(192, 192, 192));
  EXPECT_EQ(List()->visualItemRect(List()->item(0)).height(), 16);

  const QPixmap Shot = FormDir()->grab();
  EXPECT_TRUE(Shot.save(QStringLiteral(OBRA_BIN_DIR "/../gui-browser.png")));
  FormDir()->close();
}

TEST_F(Browser, ARefusedFileAtTheEndNeverStepsPastTheList) {
  const std::string Folder = Night({"a.fits", "b.fits"});
  WriteBytes(In(Folder, "z.fits"), {'n', 'o'});
  ASSERT_TRUE(Open(In(Folder, "b.fits")));
  Click("SpeedButtonNext");
  EXPECT_EQ(Script->Messages, std::vector<std::string>{"Color images are not supported."});
  EXPECT_EQ(Global.ImageName, "b.fits");
  EXPECT_EQ(Global.DirIndex, 2);
  EXPECT_FALSE(Enabled("SpeedButtonNext"));
  Press(Qt::Key_PageDown);
  EXPECT_EQ(Script->Messages.size(), 1u);
  Click("SpeedButtonPrevious");
  EXPECT_EQ(Global.ImageName, "b.fits");
  EXPECT_EQ(Global.DirIndex, 1);
}

TEST_F(Browser, ANameNotInTheListLeavesNoSelection) {
  const std::string Folder = Night({"a.fits", "b.fits"});
  ASSERT_TRUE(Open(In(Folder, "b.fits")));
  EXPECT_EQ(PointDirectoryList(Global, Folder, ".FITS", "B.fits"), -1);
  EXPECT_EQ(Global.DirIndex, -1);
}
