// The window tests' helpers, and their main: one QApplication (platform
// "offscreen" unless QT_QPA_PLATFORM says otherwise) with the small test
// configuration.
#include "GuiSupport.h"

#include <QApplication>
#include <QDialog>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <filesystem>

#include "IniFile.h"
#include "ViewWidgets.h"

namespace fs = std::filesystem;

namespace obra::test {

namespace {
bool UseConfiguration(const fs::path& Dir, const std::string& Text) {
  WriteText((Dir / "OBRA.ini").string(), Text);
  ProgramDir = Dir;
  return !GetIniFile().Fatal;
}
}  // namespace

bool UseTestConfiguration(const fs::path& Dir) {
  return UseConfiguration(Dir, SmallEngineIni(193));
}

bool UseDistributedConfiguration(const fs::path& Dir) {
  const std::vector<uint8_t> B = ReadBytes(std::string(OBRA_SOURCE_DIR) + "/dist/OBRA.ini");
  return !B.empty() && UseConfiguration(Dir, std::string(B.begin(), B.end()));
}

void WriteFits(const std::string& File, int W, int H, uint16_t (*Value)(int, int), int Wavelength) {
  WriteFitsSamples(
      File, W, H, Value, 32768,
      {Card("WAVELNTH", std::to_string(Wavelength)), Card("DATE-OBS", "'2013-06-24T17:31:30.84'")});
}

uint16_t Pattern(int X, int Y) { return static_cast<uint16_t>(100 + (X * 7 + Y * 13) % 900); }

std::string CopySharedImage(const std::string& Name, const TempDir& Dir) {
  const std::string Source = SharedData(Name);
  if (Source.empty()) return {};
  const std::string Copy = Dir.File(Name);
  fs::copy_file(Source, Copy, fs::copy_options::overwrite_existing);
  fs::permissions(Copy, fs::perms::owner_read | fs::perms::owner_write);
  return Copy;
}

QImage ToQImage(const Picture24& P) {
  return QImage(P.Pixels.data(), P.Width, P.Height, qsizetype(P.Width) * 3, QImage::Format_BGR888)
      .copy();
}

bool SamePixels(const QImage& A, const QImage& B) {
  if (A.isNull() || A.size() != B.size()) return false;
  // Pixels only: a PNG read back also carries a colour space.
  const QImage X = A.convertToFormat(QImage::Format_RGB32);
  const QImage Y = B.convertToFormat(QImage::Format_RGB32);
  return std::memcmp(X.constBits(), Y.constBits(), size_t(X.sizeInBytes())) == 0;
}

void ScriptedDialogs::ShowModal(QDialog& Window) {
  ShownWindows.push_back(Window.objectName().toStdString());
  Window.show();
}

namespace {
// The folder of the test configuration main() writes; every window test starts from it.
fs::path& TestConfigurationDir() {
  static fs::path Dir;
  return Dir;
}
}  // namespace

void Window::SetUp() {
  // A test may have pointed the program at a configuration of its own.
  ASSERT_TRUE(UseTestConfiguration(TestConfigurationDir()));
  NewWindow();
  Image = Dir.File("x.fits");
  WriteFits(Image, W, H, Pattern);
}

void Window::NewWindow() {
  Form.reset();
  Global.Workers.reset();
  Global = SharedState();
  InitializeState(Global);
  Global.ThreadCount = 2;
  auto D = std::make_unique<ScriptedDialogs>();
  Script = D.get();
  Form = std::make_unique<TForm1>(std::move(D));
  Form->resize(1280, 860);
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  QCoreApplication::processEvents();
}

void Window::TearDown() {
  Form.reset();
  Global.Workers.reset();
}

QImage Window::Shown() const { return static_cast<TImageView*>(Find("Image1"))->Shown(); }

void Window::Click(const char* Name) {
  QTest::mouseClick(Find<QAbstractButton>(Name), Qt::LeftButton);
}

bool Window::Open(const std::string& File) {
  Script->OpenAnswers.push_back(FileAnswer{File, 1});
  Click("SpeedButtonOpen");
  QCoreApplication::processEvents();
  return Global.ImageFileName == File && !Global.FirstImage;
}

void Window::ActivateAndWait() {
  Find<QTimer>("Timer1")->setInterval(5);
  Click("SpeedButtonEnableEQ");
  ASSERT_TRUE(Global.Timer1Enabled);
  ASSERT_TRUE(Find<QTimer>("Timer1")->isActive());
  ASSERT_TRUE(QTest::qWaitFor([] { return !Global.Timer1Enabled; }, WaitLimitMs))
      << "the activation did not finish";
}

void Window::Mouse(QWidget* Target, QEvent::Type Type, QPoint P, Qt::MouseButton Button,
                   Qt::MouseButtons Held) {
  QMouseEvent E(Type, QPointF(P), Target->mapToGlobal(QPointF(P)), Button, Held, Qt::NoModifier);
  QCoreApplication::sendEvent(Target, &E);
}

void Window::Drag(QWidget* Target, QPoint From, QPoint To, Qt::MouseButton Button) {
  Mouse(Target, QEvent::MouseButtonPress, From, Button, Button);
  Mouse(Target, QEvent::MouseMove, To, Qt::NoButton, Button);
  Mouse(Target, QEvent::MouseButtonRelease, To, Button, Qt::NoButton);
}

}  // namespace obra::test

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  obra::SetupApplicationLook(App);
  ::testing::InitGoogleTest(&argc, argv);
  const obra::test::TempDir ConfigDir;
  obra::test::TestConfigurationDir() = ConfigDir.Path();
  if (!obra::test::UseTestConfiguration(ConfigDir.Path())) return 1;
  return RUN_ALL_TESTS();
}
