// Mirrors the shared state into the widgets of the main window. Every change
// is made under QSignalBlocker and only where the widget differs, so a sync
// never runs a handler and never repaints what did not change.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include "Directory.h"
#include "Unit1.h"
#include "Unit1Support.h"
#include "ValuePanel.h"

namespace obra {

using unit1::Q;
using unit1::SetButton;
using unit1::SetCaption;
using unit1::SetColors;
using unit1::SetPanel;

namespace {

void SetSlider(QSlider* T, const TrackBarState& S) {
  const QSignalBlocker Block(T);
  if (T->minimum() != S.Min || T->maximum() != S.Max) {
    T->setRange(S.Min, S.Max);
    // Page Up / Page Down move a fiftieth of the range.
    T->setPageStep(std::max(1, (S.Max - S.Min) / 50));
  }
  if (T->value() != S.Position) T->setValue(S.Position);
  T->setEnabled(S.Enabled);
}

void SetEdit(QLineEdit* E, const EditState& S) {
  const QString T = Q(S.Text);
  if (E->text() != T) {
    const QSignalBlocker Block(E);
    E->setText(T);
  }
  E->setEnabled(S.Enabled);
  SetColors(E, S.Color, ClBlack, QPalette::Base);
}

void SetCheck(QCheckBox* C, bool Checked) {
  if (C->isChecked() == Checked) return;
  const QSignalBlocker Block(C);
  C->setChecked(Checked);
}

}  // namespace

void TForm1::SyncFromState() {
  SyncToolBar();
  SyncSideBar();
  SyncStatusBar();
  SyncView();
  SyncImageName();
  FormDir->SyncFromState();
}

void TForm1::SyncToolBar() {
  const SharedState& S = Global;
  PanelTop->setEnabled(S.PanelTopEnabled);
  SetButton(SpeedButtonPrevious, S.SpeedButtonPrevious);
  SetButton(SpeedButtonDir, S.SpeedButtonDir);
  SetButton(SpeedButtonNext, S.SpeedButtonNext);
  SetButton(SpeedButtonAdd, S.SpeedButtonAdd);
  SetButton(SpeedButtonSave, S.SpeedButtonSave);
  SetButton(SpeedButtonExport, S.SpeedButtonExport);
  SetButton(SpeedButtonHeader, S.SpeedButtonHeader);
  if (ComboBoxColourTable->currentText() != Q(S.ColourTableName)) {
    const QSignalBlocker Block(ComboBoxColourTable);
    ComboBoxColourTable->setCurrentText(Q(S.ColourTableName));
  }
  for (int32_t I = 1; I <= 10; ++I) SetButton(ScaleButtons[I], S.ScaleButtons[I]);
  SetButton(SpeedButtonAutocontrast, S.SpeedButtonAutocontrast);
  SetButton(SpeedButtonFixContrast, S.SpeedButtonFixContrast);
  SetButton(SpeedButtonAutoGamma, S.SpeedButtonAutoGamma);
  SetButton(SpeedButtonFixGamma, S.SpeedButtonFixGamma);
  SetButton(SpeedButtonAutoACEQ, S.SpeedButtonAutoACEQ);
  SetButton(SpeedButtonFixACEQ, S.SpeedButtonFixACEQ);
}

void TForm1::SyncSideBar() {
  const SharedState& S = Global;
  PanelRight->setEnabled(S.PanelRightEnabled);
  for (size_t I = 0; I < 5; ++I) LevelTitles[I]->setEnabled(S.LevelTitlesEnabled);
  LevelTitles[5]->setEnabled(S.LabelObraEnabled);
  SetPanel(PanelBlack, S.PanelBlack);
  SetPanel(PanelWhite, S.PanelWhite);
  SetPanel(PanelGamma, S.PanelGamma);
  SetPanel(PanelOutputBlack, S.PanelOutputBlack);
  SetPanel(PanelOutputWhite, S.PanelOutputWhite);
  SetPanel(PanelEqWeight, S.PanelEqWeight);
  SetSlider(TrackBarBlack, S.TrackBarBlack);
  SetSlider(TrackBarWhite, S.TrackBarWhite);
  SetSlider(TrackBarGamma, S.TrackBarGamma);
  SetSlider(TrackBarOutputBlack, S.TrackBarOutputBlack);
  SetSlider(TrackBarOutputWhite, S.TrackBarOutputWhite);
  SetSlider(TrackBarEqWeight, S.TrackBarEqWeight);
  // A value can be typed into a panel while its slider could be moved.
  const std::array<std::pair<QLabel*, const TrackBarState*>, 6> Typed = {{
      {PanelBlack, &S.TrackBarBlack},
      {PanelWhite, &S.TrackBarWhite},
      {PanelGamma, &S.TrackBarGamma},
      {PanelOutputBlack, &S.TrackBarOutputBlack},
      {PanelOutputWhite, &S.TrackBarOutputWhite},
      {PanelEqWeight, &S.TrackBarEqWeight},
  }};
  for (const auto& [Panel, Bar] : Typed)
    static_cast<TValuePanel*>(Panel)->SetEditable(Bar->Enabled);

  SetButton(SpeedButtonEnableEQ, S.SpeedButtonEnableEQ);
  CheckBoxAutoSaveActivated->setEnabled(S.CheckBoxAutoSaveActivated.Enabled);
  SetCheck(CheckBoxAutoSaveActivated, S.CheckBoxAutoSaveActivated.Down);

  SetCaption(PanelRoi, S.PanelRoi.Caption);
  SetButton(SpeedButtonSetFullframe, S.SpeedButtonSetFullframe);
  {
    const QSignalBlocker Block(ComboBoxRoi);
    bool Same = ComboBoxRoi->count() == static_cast<int>(std::max<size_t>(S.RoiItems.size(), 1));
    for (size_t I = 0; Same && I < S.RoiItems.size(); ++I)
      Same = ComboBoxRoi->itemText(static_cast<int>(I)) == Q(S.RoiItems[I].Caption);
    if (!Same && !S.RoiItems.empty()) {
      ComboBoxRoi->clear();
      for (const RoiItem& R : S.RoiItems) ComboBoxRoi->addItem(Q(R.Caption));
    }
    if (ComboBoxRoi->currentIndex() != S.RoiIndex) ComboBoxRoi->setCurrentIndex(S.RoiIndex);
    ComboBoxRoi->setEnabled(S.ComboBoxRoiEnabled);
  }
  SetEdit(EditRoiLeft, S.EditRoiLeft);
  SetEdit(EditRoiTop, S.EditRoiTop);
  SetButton(SpeedButtonSetTopLeft, S.SpeedButtonSetTopLeft);
  SetButton(SpeedButtonBatch, S.SpeedButtonBatch);
  SpeedButtonEditIni->setEnabled(true);
}

void TForm1::SyncStatusBar() {
  const SharedState& S = Global;
  SetCaption(LabelTime, S.PanelTime.Caption);
  SetColors(PanelTime, S.PanelTime.Color, S.PanelTime.FontColor);
  SetPanel(PanelInfo, S.PanelInfo);
  SetPanel(PanelCoordinates, S.PanelCoordinates);
  SetPanel(PanelPixelVal, S.PanelPixelVal);
  SetPanel(PanelProc, S.PanelProc);
  SetPanel(PanelSolar, S.PanelSolar);
  const bool Running = ActivationRunning(S);
  SetCaption(PanelEta, S.PanelEta.Caption);
  PanelEta->setVisible(Running);
  SpeedButtonStopActivation->setVisible(Running);
  SetButton(SpeedButtonStopActivation, S.SpeedButtonStopActivation);
  ShortcutStopActivation->setEnabled(Running && S.SpeedButtonStopActivation.Enabled);
  SetCheck(CheckBoxAddText, S.CheckBoxAddText);
  if (UpDownFontSize->value() != S.UpDownFontSize) {
    const QSignalBlocker Block(UpDownFontSize);
    UpDownFontSize->setValue(S.UpDownFontSize);
  }
  UpDownFontSize->setEnabled(S.FontControlsEnabled);
  SpeedButtonSetFontColor->setEnabled(S.FontControlsEnabled);
  if (S.Timer1Enabled && !Timer1->isActive()) Timer1->start();
  if (!S.Timer1Enabled && Timer1->isActive()) Timer1->stop();
}

}  // namespace obra
