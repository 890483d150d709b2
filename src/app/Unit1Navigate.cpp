// The main window's file commands beside "&Open": the directory browser,
// "<" and ">" with Page Up / Page Down, "&Add", and the configuration editor.
#include <QApplication>
#include <QKeyEvent>
#include <QToolButton>
#include <filesystem>

#include "Directory.h"
#include "IniEditor.h"
#include "Unit1.h"
#include "Unit1Support.h"

namespace fs = std::filesystem;

namespace obra {

namespace {

// Shows the main window the keys pressed in it before its controls get them,
// and lets them go on to the controls.
class KeyPreview : public QObject {
 public:
  explicit KeyPreview(TForm1& Form) : QObject(&Form), Form_(Form) {}

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::KeyPress && Watched == Receiver())
      Form_.FormKeyDown(static_cast<QKeyEvent*>(Event)->key());
    return false;
  }

 private:
  // The widget a key pressed in the main window goes to first: its focused
  // control, else the window. A key passed on to a parent is not seen twice.
  const QObject* Receiver() const {
    QWidget* Focus = QApplication::focusWidget();
    return Focus && Focus->window() == &Form_ ? static_cast<QObject*>(Focus) : &Form_;
  }
  TForm1& Form_;
};

}  // namespace

void TForm1::BuildWindows() {
  FormDir = new TFormDir(this);
  FormIniEdit = new TFormIniEdit(*Dialogs_, this);
  qApp->installEventFilter(new KeyPreview(*this));
  connect(FormDir, &TFormDir::OpenRequested, this, &TForm1::OpenDirectoryEntry);
  connect(FormIniEdit, &TFormIniEdit::Applied, this, &TForm1::SyncFromState);
  connect(SpeedButtonDir, &QToolButton::clicked, this, &TForm1::SpeedButtonDirClick);
  connect(SpeedButtonPrevious, &QToolButton::clicked, this, &TForm1::SpeedButtonPreviousClick);
  connect(SpeedButtonNext, &QToolButton::clicked, this, &TForm1::SpeedButtonNextClick);
  connect(SpeedButtonAdd, &QToolButton::clicked, this, &TForm1::SpeedButtonAddClick);
}

void TForm1::SpeedButtonDirClick() {
  FormDir->SyncFromState();
  FormDir->FormShow(*this);
  Dialogs_->ShowModal(*FormDir);
}

void TForm1::OpenDirectoryEntry() {
  StoreGeometry();
  obra::OpenDirectoryEntry(Global);
  SyncFromState();
}

void TForm1::SpeedButtonPreviousClick() {
  StoreGeometry();
  StepDirectory(Global, -1);
  SyncFromState();
}

void TForm1::SpeedButtonNextClick() {
  StoreGeometry();
  StepDirectory(Global, +1);
  SyncFromState();
}

bool TForm1::FormKeyDown(int Key) {
  // A disabled tool bar (during an activation) disables its buttons too.
  if (Key == Qt::Key_PageUp && SpeedButtonPrevious->isEnabled()) {
    SpeedButtonPreviousClick();
    return true;
  }
  if (Key == Qt::Key_PageDown && SpeedButtonNext->isEnabled()) {
    SpeedButtonNextClick();
    return true;
  }
  return false;
}

void TForm1::SpeedButtonAddClick() {
  FileRequest R;
  R.Title = "Open image";
  R.Filters = unit1::OpenFilters();
  R.InitialDir = Global.ImageDir;
  R.FileName = Global.OpenDialogFileName;
  const std::optional<FileAnswer> A = Dialogs_->OpenFile(R);
  if (!A) return;
  Global.OpenDialogFileName = A->Path;
  StoreGeometry();
  AddImageFile(Global, A->Path);
  SyncFromState();
}

void TForm1::SpeedButtonEditIniClick() {
  if (!FormIniEdit->LoadConfiguration()) return;
  Dialogs_->ShowModal(*FormIniEdit);
}

}  // namespace obra
