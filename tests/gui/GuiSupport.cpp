#include "GuiSupport.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "IniFile.h"

namespace fs = std::filesystem;

namespace obra::test {

bool ScriptedDialogs::YesNo(const std::string& Text) {
  Questions.push_back(Text);
  if (YesNoAnswers.empty()) return false;
  const bool A = YesNoAnswers.front();
  YesNoAnswers.pop_front();
  return A;
}

Answer ScriptedDialogs::YesNoCancel(const std::string& Text) {
  Questions.push_back(Text);
  if (YesNoCancelAnswers.empty()) return Answer::Cancel;
  const Answer A = YesNoCancelAnswers.front();
  YesNoCancelAnswers.pop_front();
  return A;
}

namespace {
template <typename T>
T Next(std::deque<T>& Queue) {
  if (Queue.empty()) return T{};
  T A = Queue.front();
  Queue.pop_front();
  return A;
}

bool UseConfiguration(const fs::path& Dir, const std::string& Text) {
  WriteText((Dir / "OBRA.ini").string(), Text);
  ProgramDir = Dir;
  return !GetIniFile().Fatal;
}
}  // namespace

std::optional<FileAnswer> ScriptedDialogs::OpenFile(const FileRequest& Request) {
  OpenRequests.push_back(Request);
  return Next(OpenAnswers);
}

std::optional<FileAnswer> ScriptedDialogs::SaveFile(const FileRequest& Request) {
  SaveRequests.push_back(Request);
  return Next(SaveAnswers);
}

std::optional<Rgb> ScriptedDialogs::Color(Rgb Initial) {
  ColorRequests.push_back(Initial);
  return Next(ColorAnswers);
}

bool UseTestConfiguration(const fs::path& Dir) {
  return UseConfiguration(Dir,
                          "KerSize 3\nNRSigma 2\nGlobalB 1\nLocalB 0\nGlobalW 1\nLocalW 0\n"
                          "Gamma193 30\nObra193 10\nKerS_20  1\nKerS_10  0.5\n");
}

bool UseDistributedConfiguration(const fs::path& Dir) {
  const std::vector<uint8_t> B = ReadBytes(std::string(OBRA_SOURCE_DIR) + "/dist/OBRA.ini");
  return !B.empty() && UseConfiguration(Dir, std::string(B.begin(), B.end()));
}

void WriteFits(const std::string& File, int W, int H, uint16_t (*Value)(int, int), int Wavelength) {
  std::vector<std::string> Cards = ImageCards(16, W, H);
  Cards.push_back(Card("BZERO", "32768"));
  Cards.push_back(Card("WAVELNTH", std::to_string(Wavelength)));
  Cards.push_back(Card("DATE-OBS", "'2013-06-24T17:31:30.84'"));
  std::vector<int16_t> S;
  S.reserve(size_t(W) * size_t(H));
  // FITS stores the bottom row first.
  for (int Y = H - 1; Y >= 0; --Y)
    for (int X = 0; X < W; ++X) S.push_back(static_cast<int16_t>(Value(X, Y) - 32768));
  WriteBytes(File, FitsFile(Cards, BigEndian(S)));
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

QColor Background(const QWidget* W, QPalette::ColorRole Role) {
  return W->palette().color(W->isEnabled() ? QPalette::Active : QPalette::Disabled, Role);
}

QColor TextColor(const QWidget* W) {
  return W->palette().color(W->isEnabled() ? QPalette::Active : QPalette::Disabled,
                            QPalette::WindowText);
}

QColor ToQColor(Rgb C) { return QColor(C.R, C.G, C.B); }

QImage ToQImage(const Picture24& P) {
  return QImage(P.Pixels.data(), P.Width, P.Height, qsizetype(P.Width) * 3, QImage::Format_BGR888)
      .copy();
}

bool SamePixels(const QImage& A, const QImage& B) {
  if (A.size() != B.size() || A.isNull()) return false;
  const QImage X = A.convertToFormat(QImage::Format_RGB32);
  const QImage Y = B.convertToFormat(QImage::Format_RGB32);
  for (int R = 0; R < X.height(); ++R)
    if (std::memcmp(X.constScanLine(R), Y.constScanLine(R), size_t(X.width()) * 4) != 0)
      return false;
  return true;
}

void Window::SetUp() {
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
  Image = Dir.File("x.fits");
  WriteFits(Image, W, H, Pattern);
}

void Window::TearDown() {
  Form.reset();
  Global.Workers.reset();
}

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
  QElapsedTimer Clock;
  Clock.start();
  while (Global.Timer1Enabled && Clock.elapsed() < 120000) QTest::qWait(5);
  ASSERT_FALSE(Global.Timer1Enabled) << "the activation did not finish";
}

void Window::ChooseRoi(int Index) { Find<QComboBox>("ComboBoxRoi")->setCurrentIndex(Index); }

void Window::Mouse(QWidget* Target, QEvent::Type Type, int X, int Y, Qt::MouseButton Button,
                   Qt::MouseButtons Held) {
  const QPointF Local(X, Y);
  QMouseEvent E(Type, Local, Target->mapToGlobal(Local), Button, Held, Qt::NoModifier);
  QCoreApplication::sendEvent(Target, &E);
}

}  // namespace obra::test
