// The batch dialog TFormBatch: every selected FITS file of the open image's
// directory is opened, activated (or taken from the cache) and saved as PNG.
//
// Common rules of this module:
//  - The dialog holds no batch logic: its handlers run the batch operations
//    of Global.h on `Global.Batch`, then SyncFromState() mirrors that state
//    into the widgets under signal blockers. obra-cli batch runs the same
//    operations, so both give the same files.
//  - "Batch proc." of the main window shows the dialog, modal for the
//    application but without a nested event loop: the main window's Timer1
//    and the engine go on, and FinishActivation takes the next step.
//  - Messages and the overwrite question go through the main window's
//    Dialogs; widgets carry the names of the controls they stand for.
#pragma once

#include <QDialog>
#include <array>

#include "Global.h"

class QButtonGroup;
class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QToolButton;

namespace obra {

class TForm1;

class TFormBatch : public QDialog {
 public:
  // Builds the dialog hidden; Form1's "Batch proc." then shows it.
  explicit TFormBatch(TForm1& Form1);
  ~TFormBatch() override;

  // ---- handlers (public so that tests can run them) ----
  // Shows the dialog for the directory of the open image.
  void FormShow();
  // The mask field or the extension list changed.
  void EditMaskChange();
  // The selection of the list changed (also after a click).
  void FileListBox1Change();
  void SpeedButtonSelectAllClick();
  void SpeedButtonUnselectClick();
  // One of the five process buttons.
  void SpeedButtonActivateOnlyClick(int Mode);
  void SpeedButtonNamingClick(int Naming);
  void SpeedButtonRunClick();
  // "Stop" ends the run.
  void SpeedButtonStopClick();
  // Whether the dialog may close now (refused with a message during a run).
  bool FormCloseQuery();
  // Sets every widget from Global.Batch and hides the dialog when the run closed it.
  void SyncFromState();

 protected:
  void closeEvent(QCloseEvent* Event) override;
  void reject() override;

 private:
  void BuildLayout();
  void ConnectHandlers();
  // After a step: both windows show the new state.
  void SyncBoth();

  TForm1& Form1_;
  QListWidget* FileListBox1 = nullptr;
  QLineEdit* EditMask = nullptr;
  QComboBox* ComboBoxExt = nullptr;
  QToolButton *SpeedButtonSelectAll = nullptr, *SpeedButtonUnselect = nullptr;
  std::array<QToolButton*, 5> ProcessButtons{};  // indexed by BatchProcess
  std::array<QToolButton*, 4> NamingButtons{};   // indexed by BatchNaming
  QButtonGroup *ProcessGroup = nullptr, *NamingGroup = nullptr;
  QToolButton *SpeedButtonRun = nullptr, *SpeedButtonStop = nullptr;
  QLabel* PanelInfo = nullptr;
};

}  // namespace obra
