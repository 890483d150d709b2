// Small widget helpers of the program's windows (not a public interface).
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QSignalBlocker>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "Global.h"

namespace obra::unit1 {

inline QColor ToQColor(Rgb C) { return QColor(C.R, C.G, C.B); }
inline QString Q(const std::string& S) { return QString::fromStdString(S); }

// Background and text colour in every colour group, so that a disabled
// control shows exactly the colours the state asks for. Role is the
// background role of the widget (Window for panels, Base for edit fields).
inline void SetColors(QWidget* W, Rgb Background, Rgb Text,
                      QPalette::ColorRole Role = QPalette::Window) {
  QPalette P = W->palette();
  const QColor B = ToQColor(Background), T = ToQColor(Text);
  if (P.color(QPalette::Disabled, Role) == B && P.color(QPalette::Active, Role) == B &&
      P.color(QPalette::Disabled, QPalette::WindowText) == T &&
      P.color(QPalette::Active, QPalette::Text) == T)
    return;
  for (QPalette::ColorGroup G : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    P.setColor(G, Role, B);
    P.setColor(G, QPalette::WindowText, T);
    P.setColor(G, QPalette::Text, T);
  }
  W->setPalette(P);
  W->setAutoFillBackground(true);
}

// The file types of the open dialog ("&Open" and "&Add").
inline const std::vector<FileFilter>& OpenFilters() {
  static const std::vector<FileFilter> F = {
      {"FITS", {"*.fits", "*.fit", "*.fts", "*.fz", "*.fits.gz", "*.fit.gz", "*.fts.gz"}},
      {"TIFF", {"*.tif", "*.tiff"}},
      {"BIF", {"*.bif"}},
      {"PNG", {"*.png"}}};
  return F;
}

// Sets a label's text only when it changed, so unchanged panels never repaint.
inline void SetCaption(QLabel* L, const std::string& Text) {
  const QString T = Q(Text);
  if (L->text() != T) L->setText(T);
}

// Enabled state and, for a two-state button, the Down state, without
// running its handlers.
inline void SetButton(QAbstractButton* B, const ButtonState& S) {
  B->setEnabled(S.Enabled);
  if (B->isCheckable() && B->isChecked() != S.Down) {
    const QSignalBlocker Block(B);
    B->setChecked(S.Down);
  }
}

// A text panel's caption and colours.
inline void SetPanel(QLabel* L, const PanelState& S) {
  SetCaption(L, S.Caption);
  SetColors(L, S.Color, S.FontColor);
}

}  // namespace obra::unit1
