// Modal windows of the program behind one interface.
//
// Common rules of this module:
//  - Every message box, question and file or colour dialog the windows show,
//    and every modal showing of the program's own windows, goes through Dialogs, so the windows can
//    be driven without a person: the real program uses QtDialogs, tests a scripted implementation.
//  - A dialog that the user cancels returns an empty optional; nothing else
//    reports failure.
//  - File-type filters are (name, patterns) pairs; SelectedFilter and the
//    returned FilterIndex count from 1, as the save modes do.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Global.h"

class QDialog;
class QWidget;

namespace obra {

// One entry of a file-type list: its name and its patterns ("*.fits").
struct FileFilter {
  std::string Name;
  std::vector<std::string> Patterns;
};

// What an open or save dialog is asked to show.
struct FileRequest {
  std::string Title;
  std::vector<FileFilter> Filters;
  int32_t SelectedFilter = 1;
  std::string InitialDir;
  std::string FileName;       // preset name (with or without directory)
  std::string DefaultSuffix;  // appended to a name typed without extension
  bool ConfirmOverwrite = false;
};

// A confirmed file dialog: the chosen path and the file-type entry it used.
struct FileAnswer {
  std::string Path;
  int32_t FilterIndex = 1;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A message box with an OK button.
  virtual void Message(const std::string& Text) = 0;
  // A question with the buttons Yes and No; true for Yes.
  virtual bool YesNo(const std::string& Text) = 0;
  // A question with Yes, No and Cancel; closing the box counts as Cancel.
  virtual Answer YesNoCancel(const std::string& Text) = 0;
  // The open dialog; empty when cancelled.
  virtual std::optional<FileAnswer> OpenFile(const FileRequest& Request) = 0;
  // The save dialog; empty when cancelled.
  virtual std::optional<FileAnswer> SaveFile(const FileRequest& Request) = 0;
  // The colour dialog preset with Initial; empty when cancelled.
  virtual std::optional<Rgb> Color(Rgb Initial) = 0;
  // Shows one of the program's own windows modally (the directory browser,
  // the configuration editor) and returns when it is closed.
  virtual void ShowModal(QDialog& Window);
};

// The real dialogs: QMessageBox, QFileDialog and QColorDialog over Parent.
class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* Parent) : Parent_(Parent) {}
  void Message(const std::string& Text) override;
  bool YesNo(const std::string& Text) override;
  Answer YesNoCancel(const std::string& Text) override;
  std::optional<FileAnswer> OpenFile(const FileRequest& Request) override;
  std::optional<FileAnswer> SaveFile(const FileRequest& Request) override;
  std::optional<Rgb> Color(Rgb Initial) override;

 private:
  QWidget* Parent_;
};

// Qt's form of a filter entry: "FITS (*.fits *.fit *.fts)".
std::string QtFilterText(const FileFilter& Filter);

}  // namespace obra
