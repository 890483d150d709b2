// THeaderWindow: the non-modal "Header" window listing the header cards of
// the current image in a fixed-pitch font, with a find field.
//
// Common rules of this module:
//  - The window shows HeaderLines of the record's stored cards, one card per
//    line, so it lists exactly what `obra-cli header` prints.
//  - It never changes the shared state; the main window refills it when
//    another image is opened while it is shown.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace obra {

class THeaderWindow : public QWidget {
  Q_OBJECT

 public:
  explicit THeaderWindow(QWidget* Parent = nullptr);

  // Shows the cards of the image FileName (the title names the file).
  void ShowHeader(const std::string& FileName, const std::vector<std::string>& Cards);
  // The file whose header is shown.
  const std::string& FileName() const { return FileName_; }
  // Selects the next occurrence of the find field's text after the current
  // selection, wrapping at the end, ignoring letter case; false when the text
  // does not occur (the label then says "Not found").
  bool FindNext();

 private:
  std::string FileName_;
  QPlainTextEdit* MemoHeader = nullptr;
  QLineEdit* EditFind = nullptr;
  QLabel* LabelFind = nullptr;
};

}  // namespace obra
