// The batch dialog: its controls, their wiring and the mirror of Global.Batch.
#include "Batch.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "Unit1.h"
#include "Unit1Support.h"

namespace obra {

using unit1::Q;
using unit1::SetButton;
using unit1::SetPanel;

namespace {

struct ButtonSpec {
  const char* Name;
  const char* Caption;
  const char* Hint;
};

constexpr std::array<ButtonSpec, 5> ProcessSpecs = {{
    {"SpeedButtonActivateOnly", "Activate only",
     "Fill the activation cache only; no picture is written"},
    {"SpeedButtonProcessFull", "Process full image", "Save the full frame at full resolution"},
    {"SpeedButtonProcessFullScaled", "Process full image scaled",
     "Save the full frame at the view's scale"},
    {"SpeedButtonProcessRoi", "Process ROI", "Save the ROI at full resolution"},
    {"SpeedButtonProcessRoiScaled", "Process ROI scaled", "Save the ROI at the view's scale"},
}};

constexpr std::array<ButtonSpec, 4> NamingSpecs = {{
    {"SpeedButtonFileNamePref", "Prefix 'Proc_' + File Name", "Proc_name.png"},
    {"SpeedButtonFileNameSuf", "File Name + suffix '_Proc'", "name_Proc.png"},
    {"SpeedButtonNumber", "Number (0001, 0002, ... )", "0001.png, 0002.png, ..."},
    {"SpeedButtonTime", " Wavelength + Time", "0171A_2013_05_21T12_34_56_78.png"},
}};

QToolButton* MakeButton(QWidget* Parent, const ButtonSpec& Face, bool Checkable) {
  auto* B = new QToolButton(Parent);
  B->setObjectName(QString::fromLatin1(Face.Name));
  B->setText(QString::fromLatin1(Face.Caption));
  B->setToolTip(QString::fromLatin1(Face.Hint));
  B->setCheckable(Checkable);
  B->setToolButtonStyle(Qt::ToolButtonTextOnly);
  B->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  return B;
}

// A titled group of exclusive two-state buttons.
template <size_t N>
QGroupBox* MakeGroup(QWidget* Parent, const char* Title, const std::array<ButtonSpec, N>& Specs,
                     std::array<QToolButton*, N>& Buttons, QButtonGroup*& Group) {
  auto* Box = new QGroupBox(QString::fromLatin1(Title), Parent);
  auto* Col = new QVBoxLayout(Box);
  Group = new QButtonGroup(Box);
  Group->setExclusive(true);
  for (size_t I = 0; I < N; ++I) {
    Buttons[I] = MakeButton(Box, Specs[I], true);
    Group->addButton(Buttons[I], static_cast<int>(I));
    Col->addWidget(Buttons[I]);
  }
  return Box;
}

}  // namespace

TFormBatch::TFormBatch(TForm1& Form1) : QDialog(&Form1), Form1_(Form1) {
  setObjectName(QStringLiteral("FormBatch"));
  BuildLayout();
  ConnectHandlers();
  connect(&Form1, &TForm1::BatchRequested, this, &TFormBatch::FormShow);
}

TFormBatch::~TFormBatch() { Global.Batch.OnChange = nullptr; }

void TFormBatch::BuildLayout() {
  auto* Main = new QHBoxLayout(this);
  auto* Left = new QVBoxLayout;
  auto* MaskRow = new QHBoxLayout;
  MaskRow->addWidget(new QLabel(QStringLiteral("File mask:"), this));
  EditMask = new QLineEdit(QStringLiteral("*"), this);
  EditMask->setObjectName(QStringLiteral("EditMask"));
  MaskRow->addWidget(EditMask, 1);
  ComboBoxExt = new QComboBox(this);
  ComboBoxExt->setObjectName(QStringLiteral("ComboBoxExt"));
  for (const std::string& E : BatchExtensions) ComboBoxExt->addItem(Q(E));
  MaskRow->addWidget(ComboBoxExt);
  Left->addLayout(MaskRow);
  FileListBox1 = new QListWidget(this);
  FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
  FileListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FileListBox1->setMinimumSize(320, 360);
  Left->addWidget(FileListBox1, 1);
  auto* SelectRow = new QHBoxLayout;
  SpeedButtonSelectAll = MakeButton(this, {"SpeedButtonSelectAll", "Select all", ""}, false);
  SpeedButtonUnselect = MakeButton(this, {"SpeedButtonUnselect", "Unselect all", ""}, false);
  SelectRow->addWidget(SpeedButtonSelectAll);
  SelectRow->addWidget(SpeedButtonUnselect);
  Left->addLayout(SelectRow);
  PanelInfo = new QLabel(this);
  PanelInfo->setObjectName(QStringLiteral("PanelInfo"));
  PanelInfo->setAlignment(Qt::AlignCenter);
  PanelInfo->setFrameShape(QFrame::Panel);
  PanelInfo->setFrameShadow(QFrame::Sunken);
  PanelInfo->setMinimumHeight(26);
  Left->addWidget(PanelInfo);
  Main->addLayout(Left, 1);

  auto* Right = new QVBoxLayout;
  Right->addWidget(MakeGroup(this, "Process", ProcessSpecs, ProcessButtons, ProcessGroup));
  Right->addWidget(MakeGroup(this, "Output file name", NamingSpecs, NamingButtons, NamingGroup));
  Right->addStretch(1);
  SpeedButtonRun = MakeButton(this, {"SpeedButtonRun", "Run batch", ""}, false);
  SpeedButtonStop = MakeButton(this, {"SpeedButtonStop", "Stop", ""}, false);
  SpeedButtonStop->setStyleSheet(QStringLiteral("QToolButton { color: rgb(255, 0, 0); }"));
  Right->addWidget(SpeedButtonRun);
  Right->addWidget(SpeedButtonStop);
  Main->addLayout(Right);
}

void TFormBatch::ConnectHandlers() {
  connect(EditMask, &QLineEdit::textChanged, this, &TFormBatch::EditMaskChange);
  connect(ComboBoxExt, &QComboBox::currentIndexChanged, this, &TFormBatch::EditMaskChange);
  connect(FileListBox1, &QListWidget::itemSelectionChanged, this, &TFormBatch::FileListBox1Change);
  connect(SpeedButtonSelectAll, &QToolButton::clicked, this,
          &TFormBatch::SpeedButtonSelectAllClick);
  connect(SpeedButtonUnselect, &QToolButton::clicked, this, &TFormBatch::SpeedButtonUnselectClick);
  connect(ProcessGroup, &QButtonGroup::idClicked, this, &TFormBatch::SpeedButtonActivateOnlyClick);
  connect(NamingGroup, &QButtonGroup::idClicked, this, &TFormBatch::SpeedButtonNamingClick);
  connect(SpeedButtonRun, &QToolButton::clicked, this, &TFormBatch::SpeedButtonRunClick);
  connect(SpeedButtonStop, &QToolButton::clicked, this, &TFormBatch::SpeedButtonStopClick);
}

void TFormBatch::FormShow() {
  BatchFormShow(Global);
  // During a run both windows follow each step. Between files of a cached
  // run the events are processed, so the progress shows and "Stop" works;
  // never while workers run, when Timer1 is to take the next step.
  Global.Batch.OnChange = [this] {
    SyncBoth();
    if (!Global.Workers) QCoreApplication::processEvents();
  };
  SyncFromState();
  setWindowModality(Qt::ApplicationModal);
  show();
  raise();
}

void TFormBatch::EditMaskChange() {
  Global.Batch.EditMask.Text = EditMask->text().toStdString();
  Global.Batch.ExtIndex = ComboBoxExt->currentIndex();
  BatchEditMaskChange(Global);
  SyncFromState();
}

void TFormBatch::FileListBox1Change() {
  BatchState& B = Global.Batch;
  for (int I = 0; I < FileListBox1->count() && I < static_cast<int>(B.Selected.size()); ++I)
    B.Selected[I] = FileListBox1->item(I)->isSelected() ? 1 : 0;
  BatchSelectionChange(Global);
  SyncFromState();
}

void TFormBatch::SpeedButtonSelectAllClick() {
  BatchSelectAll(Global, true);
  SyncFromState();
}

void TFormBatch::SpeedButtonUnselectClick() {
  BatchSelectAll(Global, false);
  SyncFromState();
}

void TFormBatch::SpeedButtonActivateOnlyClick(int Mode) {
  BatchProcessClick(Global, static_cast<BatchProcess>(Mode));
  SyncFromState();
}

void TFormBatch::SpeedButtonNamingClick(int Naming) {
  BatchNamingClick(Global, static_cast<BatchNaming>(Naming));
  SyncFromState();
}

void TFormBatch::SpeedButtonRunClick() {
  BatchRunClick(Global);
  SyncBoth();
}

void TFormBatch::SpeedButtonStopClick() {
  BatchStep(Global, BatchSender::Stop);
  SyncBoth();
}

bool TFormBatch::FormCloseQuery() { return BatchCloseQuery(Global); }

void TFormBatch::closeEvent(QCloseEvent* Event) {
  if (!FormCloseQuery()) return Event->ignore();
  Global.Batch.Visible = false;
  Event->accept();
}

void TFormBatch::reject() {
  if (!FormCloseQuery()) return;
  Global.Batch.Visible = false;
  QDialog::reject();
}

void TFormBatch::SyncBoth() {
  Form1_.SyncFromState();
  SyncFromState();
}

void TFormBatch::SyncFromState() {
  const BatchState& B = Global.Batch;
  setWindowTitle(Q(B.Caption));
  {
    const QSignalBlocker Block(EditMask);
    if (EditMask->text() != Q(B.EditMask.Text)) EditMask->setText(Q(B.EditMask.Text));
    EditMask->setEnabled(B.EditMask.Enabled);
  }
  {
    const QSignalBlocker Block(ComboBoxExt);
    ComboBoxExt->setCurrentIndex(B.ExtIndex);
    ComboBoxExt->setEnabled(B.ComboBoxExtEnabled);
  }
  {
    const QSignalBlocker Block(FileListBox1);
    bool Same = FileListBox1->count() == static_cast<int>(B.Files.size());
    for (int I = 0; Same && I < FileListBox1->count(); ++I)
      Same = FileListBox1->item(I)->text() == Q(B.Files[I]);
    if (!Same) {
      FileListBox1->clear();
      for (const std::string& F : B.Files) FileListBox1->addItem(Q(F));
    }
    for (int I = 0; I < FileListBox1->count(); ++I)
      FileListBox1->item(I)->setSelected(B.Selected[I] != 0);
    if (B.ItemIndex >= 0 && B.ItemIndex < FileListBox1->count())
      FileListBox1->setCurrentRow(B.ItemIndex, QItemSelectionModel::NoUpdate);
    FileListBox1->setEnabled(B.FileListBox1Enabled);
  }
  SetButton(SpeedButtonSelectAll, B.SpeedButtonSelectAll);
  SetButton(SpeedButtonUnselect, B.SpeedButtonUnselect);
  for (size_t I = 0; I < ProcessButtons.size(); ++I)
    SetButton(ProcessButtons[I], B.ProcessButtons[I]);
  for (size_t I = 0; I < NamingButtons.size(); ++I) SetButton(NamingButtons[I], B.NamingButtons[I]);
  SetButton(SpeedButtonRun, B.SpeedButtonRun);
  SetButton(SpeedButtonStop, B.SpeedButtonStop);
  SetPanel(PanelInfo, B.PanelInfo);
  if (!B.Visible && isVisible()) hide();
}

}  // namespace obra
