// Helpers of the window tests: scripted dialogs, a fixture holding a fresh
// main window over a fresh shared state, widget look-ups and image fixtures.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <deque>
#include <memory>
#include <optional>

#include "../TestSupport.h"
#include "Dialogs.h"
#include "Global.h"
#include "Unit1.h"

namespace obra::test {

// WaitLimit in milliseconds, the bound of every QTest::qWaitFor in the window tests.
inline constexpr int WaitLimitMs =
    int(std::chrono::duration_cast<std::chrono::milliseconds>(WaitLimit).count());

// Records the file and colour dialogs and the questions asked for and
// answers from queues; an empty queue answers as a user who cancels (or says
// No). The program's own windows are shown without blocking, so a test
// drives them and closes them itself.
class ScriptedDialogs : public Dialogs {
 public:
  void Message(const std::string& Text) override { Messages.push_back(Text); }
  bool YesNo(const std::string& Text) override {
    return Next(Questions, Text, YesNoAnswers).value_or(false);
  }
  void ShowModal(QDialog& Window) override;
  Answer YesNoCancel(const std::string& Text) override {
    return Next(Questions, Text, QuestionAnswers);
  }
  std::optional<FileAnswer> OpenFile(const FileRequest& R) override {
    return Next(OpenRequests, R, OpenAnswers);
  }
  std::optional<FileAnswer> SaveFile(const FileRequest& R) override {
    return Next(SaveRequests, R, SaveAnswers);
  }
  std::optional<Rgb> Color(Rgb Initial) override {
    return Next(ColorRequests, Initial, ColorAnswers);
  }

  std::vector<std::string> Messages, Questions;
  std::deque<Answer> QuestionAnswers;
  std::vector<FileRequest> OpenRequests, SaveRequests;
  std::vector<Rgb> ColorRequests;
  std::deque<std::optional<FileAnswer>> OpenAnswers, SaveAnswers;
  std::deque<std::optional<Rgb>> ColorAnswers;
  std::deque<std::optional<bool>> YesNoAnswers;
  std::vector<std::string> ShownWindows;  // object names, in the order shown

 private:
  template <typename Q, typename A>
  static A Next(std::vector<Q>& Asked, const Q& Request, std::deque<A>& Answers) {
    Asked.push_back(Request);
    if (Answers.empty()) {
      if constexpr (std::is_same_v<A, Answer>)
        return Answer::Cancel;
      else
        return A{};
    }
    A Front = Answers.front();
    Answers.pop_front();
    return Front;
  }
};

// The small test configuration (activations take milliseconds), or the
// OBRA.ini the program ships, read from Dir/OBRA.ini; false on a fatal fault.
bool UseTestConfiguration(const std::filesystem::path& Dir);
bool UseDistributedConfiguration(const std::filesystem::path& Dir);

// A signed 16-bit FITS image (BZERO 32768) of the channel observed
// 2013-06-24T17:31:30.84 whose samples are Value(x, y).
void WriteFits(const std::string& File, int W, int H, uint16_t (*Value)(int, int),
               int Wavelength = 193);
uint16_t Pattern(int X, int Y);

// A real solar image copied into Dir (its cache then lands there); empty when absent.
std::string CopySharedImage(const std::string& Name, const TempDir& Dir);

// The colour a widget paints Role with in its present state.
inline QColor Colour(const QWidget* W, QPalette::ColorRole Role = QPalette::Window) {
  return W->palette().color(W->isEnabled() ? QPalette::Active : QPalette::Disabled, Role);
}

// Pixels of a 24-bit picture as a QImage, and whether two images are equal.
QImage ToQImage(const Picture24& P);
bool SamePixels(const QImage& A, const QImage& B);

class Window : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void NewWindow();  // a new window over a new shared state, as at program start

  template <typename T = QWidget>
  T* Find(const char* Name) const {
    T* W = Form->findChild<T*>(QString::fromLatin1(Name));
    if (W == nullptr) ADD_FAILURE() << "no widget " << Name;
    return W;
  }
  QString Text(const char* Name) const { return Find<QLabel>(Name)->text(); }
  bool Enabled(const char* Name) const { return Find(Name)->isEnabled(); }
  bool Checked(const char* Name) const { return Find<QAbstractButton>(Name)->isChecked(); }
  void ExpectEnabled(std::initializer_list<const char*> Names, bool On) const {
    for (const char* N : Names) EXPECT_EQ(Enabled(N), On) << N;
  }
  QImage Shown() const;  // what the view paints
  // A left click as the user gives it (nothing happens on a disabled control).
  void Click(const char* Name);
  // "&Open" with the dialog answering File; true when File became the image.
  bool Open(const std::string& File);
  // Presses "Activate" and lets Timer1 run until the activation has finished.
  void ActivateAndWait();
  void ChooseRoi(int Index) { Find<QComboBox>("ComboBoxRoi")->setCurrentIndex(Index); }
  // A mouse event with Held buttons down, and a drag from From to To.
  void Mouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button,
             Qt::MouseButtons Held);
  void Drag(QWidget* W, QPoint From, QPoint To, Qt::MouseButton Button);

  TempDir Dir;
  std::unique_ptr<TForm1> Form;
  ScriptedDialogs* Script = nullptr;
  std::string Image;  // a 700 x 600 synthetic image in Dir, written by SetUp
  static constexpr int W = 700, H = 600;
};

}  // namespace obra::test
