// The configuration editor TFormIniEdit: OBRA.ini as free text.
//
// Common rules of this module:
//  - The editor never parses what is typed. "Apply and Save" checks the text
//    with the rules of the configuration read before anything is written: a
//    text that would end the program is refused with its message, nothing is
//    written and the editor stays open with the text.
//  - OBRA.ini and every "Save as ..." file are written atomically (temporary
//    file, fsync, rename), each line ended by CR LF; a failed write is shown
//    and the old file stays as it was. Default.ini is only ever read.
//  - Messages, questions and file dialogs go through the Dialogs interface
//    the editor is given; widgets carry their control names as object names.
#pragma once

#include <QDialog>
#include <filesystem>
#include <string>

class QLabel;
class QPlainTextEdit;
class QToolButton;

namespace obra {

class Dialogs;

class TFormIniEdit : public QDialog {
  Q_OBJECT

 public:
  TFormIniEdit(Dialogs& Modal, QWidget* Parent = nullptr);

  // Loads ProgramDir's OBRA.ini into the memo; false (with the file error
  // shown) when it cannot be read, and the editor is then not to be shown.
  bool LoadConfiguration();
  // The memo's text as the file holds it: every line ended by CR LF.
  std::string FileText() const;

  // ---- handlers (public so that tests can run them) ----
  // Disables "Apply and Save" whenever the editor is shown.
  void FormShow();
  // Any change of the text enables "Apply and Save".
  void MemoIniChange();
  // Checks, writes and re-reads the configuration, switches the open image's
  // activation off (asking whether to delete its cached data) and closes.
  void SpeedButtonApplyClick();
  // Replaces the text by Default.ini (nothing written yet).
  void SpeedButtonDefaultClick();
  // Writes the text to a chosen file; OBRA.INI and DEFAULT.INI are refused.
  void SpeedButtonSaveAsClick();
  // Replaces the text by a chosen file (nothing written yet).
  void SpeedButtonOpenClick();
  // Closes; nothing is written.
  void SpeedButtonCancelClick();

 signals:
  // "Apply and Save" changed the settings and the state of the open image.
  void Applied();

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  // Replaces the memo's text by File; false (with the error shown) when unreadable.
  bool LoadText(const std::filesystem::path& File);

  Dialogs& Modal_;
  QPlainTextEdit* MemoIni = nullptr;
  QToolButton *SpeedButtonApply = nullptr, *SpeedButtonDefault = nullptr,
              *SpeedButtonSaveAs = nullptr, *SpeedButtonOpen = nullptr,
              *SpeedButtonCancel = nullptr;
  QLabel* LabelWarning = nullptr;
};

}  // namespace obra
