// The value panels of the side bar's level boxes: they show a value like a
// label and take a typed one.
//
// Common rules of this module:
//  - The panel stays a QLabel: its text is what the workflow shows. A click,
//    or typing while it has the focus, opens an editor over it with the
//    value; Enter hands the typed text to Typed, Esc and leaving the editor
//    drop it. The workflow decides what the text means.
//  - A panel takes typing only while it is enabled and editable (the window
//    makes it editable while its slider is enabled).
#pragma once

#include <QLabel>
#include <functional>

class QLineEdit;

namespace obra {

class TValuePanel : public QLabel {
 public:
  explicit TValuePanel(QWidget* Parent);
  // Called with the editor's text when Enter is pressed in it.
  std::function<void(const QString&)> Typed;
  // The editor (for tests and the window's look); hidden while not typing.
  QLineEdit* Editor() const { return Editor_; }
  // Opens the editor with Start as its text (the shown value, all selected,
  // when Start is empty).
  void BeginEdit(const QString& Start = {});
  // Whether typing is accepted; false also drops an edit in progress.
  void SetEditable(bool Editable);

 protected:
  void mousePressEvent(QMouseEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void EndEdit();
  QLineEdit* Editor_ = nullptr;
  bool Editable_ = true;
};

}  // namespace obra
