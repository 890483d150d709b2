// Helpers of the window tests: scripted dialogs, a fixture holding a fresh
// main window over a fresh shared state, widget look-ups and image fixtures.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QColor>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QString>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../TestSupport.h"
#include "Dialogs.h"
#include "Global.h"
#include "Unit1.h"

namespace obra::test {

// Records every modal window asked for and answers from queues; an empty
// queue answers as a user who cancels.
class ScriptedDialogs : public Dialogs {
 public:
  void Message(const std::string& Text) override { Messages.push_back(Text); }
  bool YesNo(const std::string& Text) override;
  Answer YesNoCancel(const std::string& Text) override;
  std::optional<FileAnswer> OpenFile(const FileRequest& Request) override;
  std::optional<FileAnswer> SaveFile(const FileRequest& Request) override;
  std::optional<Rgb> Color(Rgb Initial) override;

  std::vector<std::string> Messages, Questions;
  std::vector<FileRequest> OpenRequests, SaveRequests;
  std::vector<Rgb> ColorRequests;
  std::deque<std::optional<FileAnswer>> OpenAnswers, SaveAnswers;
  std::deque<std::optional<Rgb>> ColorAnswers;
  std::deque<bool> YesNoAnswers;
  std::deque<Answer> YesNoCancelAnswers;
};

// Reads the small test configuration (activations take milliseconds) from
// Dir/OBRA.ini, which it writes first; false on a fatal configuration fault.
bool UseTestConfiguration(const std::filesystem::path& Dir);
// The same with the OBRA.ini the program ships.
bool UseDistributedConfiguration(const std::filesystem::path& Dir);

// A signed 16-bit FITS image (BZERO 32768) of channel 193 observed
// 2013-06-24T17:31:30.84 whose samples are Value(x, y).
void WriteFits(const std::string& File, int W, int H, uint16_t (*Value)(int, int),
               int Wavelength = 193);
uint16_t Pattern(int X, int Y);

// A real solar image copied into Dir (its cache then lands there); empty when absent.
std::string CopySharedImage(const std::string& Name, const TempDir& Dir);

// The colour a widget paints its background (Role) and text with.
QColor Background(const QWidget* W, QPalette::ColorRole Role = QPalette::Window);
QColor TextColor(const QWidget* W);
QColor ToQColor(Rgb C);

// Pixels of a 24-bit picture as a QImage, to compare with written files.
QImage ToQImage(const Picture24& P);
// True when both images have the same size and the same colour everywhere.
bool SamePixels(const QImage& A, const QImage& B);

class Window : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  template <typename T>
  T* Find(const char* Name) const {
    T* W = Form->findChild<T*>(QString::fromLatin1(Name));
    if (W == nullptr) ADD_FAILURE() << "no widget " << Name;
    return W;
  }
  QString Text(const char* Name) const { return Find<QLabel>(Name)->text(); }
  bool Enabled(const char* Name) const { return Find<QWidget>(Name)->isEnabled(); }
  bool Checked(const char* Name) const { return Find<QAbstractButton>(Name)->isChecked(); }
  // A left click as the user gives it (nothing happens on a disabled control).
  void Click(const char* Name);
  // "&Open" with the dialog answering File; true when File became the image.
  bool Open(const std::string& File);
  // Presses "Activate" and lets Timer1 run until the activation has finished.
  void ActivateAndWait();
  // Picks a ROI size as the user does in the combo box.
  void ChooseRoi(int Index);
  // Sends a mouse event with the given buttons held to W at (X, Y).
  void Mouse(QWidget* W, QEvent::Type Type, int X, int Y, Qt::MouseButton Button,
             Qt::MouseButtons Held);

  TempDir Dir;
  std::unique_ptr<TForm1> Form;
  ScriptedDialogs* Script = nullptr;
  std::string Image;  // a 700 x 600 synthetic image in Dir, written by SetUp
  static constexpr int W = 700, H = 600;
};

}  // namespace obra::test
