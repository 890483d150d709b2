// The directory browser TFormDir: the images of the current directory that
// share the current image's extension, as the open workflow lists them.
//
// Common rules of this module:
//  - The list shows Global.DirFiles and its selection is Global.DirIndex;
//    SyncFromState() mirrors the state in, a selection by the user is written
//    back at once. The browser opens nothing itself: "Open" asks the main
//    window (OpenRequested), which runs the open workflow without a dialog.
//  - Widgets carry their control names as object names.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QToolButton;

namespace obra {

class TFormDir : public QDialog {
  Q_OBJECT

 public:
  explicit TFormDir(QWidget* Parent = nullptr);

  // Titles the window with the directory's own name and places it at Main's
  // top-left corner, as tall as Main and 512 pixels wide.
  void FormShow(const QWidget& Main);
  // Sets the list's entries and selection from Global.
  void SyncFromState();
  // "Open" (also double-click and Enter): opens the selected entry and
  // closes the browser; nothing happens without a selection.
  void SpeedButtonOpenClick();

 signals:
  // The selected entry of the list is to be opened.
  void OpenRequested();

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  QListWidget* FileListBox1 = nullptr;
  QToolButton* SpeedButtonOpen = nullptr;
  std::vector<std::string> Listed_;  // the names the list shows
};

}  // namespace obra
