// A value panel that takes a typed value.
#include "ValuePanel.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

namespace obra {

TValuePanel::TValuePanel(QWidget* Parent) : QLabel(Parent), Editor_(new QLineEdit(this)) {
  setFocusPolicy(Qt::StrongFocus);
  Editor_->setObjectName(QStringLiteral("Editor"));
  Editor_->setFrame(false);
  Editor_->setAlignment(Qt::AlignCenter);
  Editor_->setMaxLength(24);
  Editor_->hide();
  Editor_->installEventFilter(this);
}

void TValuePanel::SetEditable(bool Editable) {
  Editable_ = Editable;
  if (!Editable) Editor_->hide();
}

void TValuePanel::BeginEdit(const QString& Start) {
  if (!isEnabled() || !Editable_) return;
  Editor_->setGeometry(contentsRect());
  Editor_->setText(Start.isEmpty() ? text() : Start);
  Editor_->show();
  Editor_->setFocus(Qt::OtherFocusReason);
  if (Start.isEmpty())
    Editor_->selectAll();
  else
    Editor_->end(false);
}

void TValuePanel::EndEdit() {
  if (!Editor_->isVisible()) return;
  Editor_->hide();
  setFocus(Qt::OtherFocusReason);
}

void TValuePanel::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton) BeginEdit();
  Event->accept();
}

void TValuePanel::keyPressEvent(QKeyEvent* Event) {
  const QString T = Event->text();
  if (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) {
    BeginEdit();
  } else if (!T.isEmpty() &&
             (T[0].isDigit() || T[0] == '.' || T[0] == ',' || T[0] == '-' || T[0].isLetter())) {
    BeginEdit(T);
  } else {
    QLabel::keyPressEvent(Event);
    return;
  }
  Event->accept();
}

void TValuePanel::resizeEvent(QResizeEvent* Event) {
  QLabel::resizeEvent(Event);
  Editor_->setGeometry(contentsRect());
}

bool TValuePanel::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == Editor_) {
    // Enter and Esc end the edit here: a line edit passes Enter on to its
    // parent, which would open the editor again.
    const int Key = Event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(Event)->key() : 0;
    if (Key == Qt::Key_Return || Key == Qt::Key_Enter) {
      const QString Text = Editor_->text();
      EndEdit();
      if (Typed) Typed(Text);
      return true;
    }
    if (Key == Qt::Key_Escape) {
      EndEdit();
      return true;
    }
    // Leaving the editor drops what was typed; only Enter applies it.
    if (Event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(Event)->reason() != Qt::PopupFocusReason)
      Editor_->hide();
  }
  return QLabel::eventFilter(Watched, Event);
}

}  // namespace obra
