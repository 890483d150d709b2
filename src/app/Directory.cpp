// The directory browser: list, "Open" button, placement and title.
#include "Directory.h"

#include <QFont>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>

#include "Global.h"
#include "Unit1Support.h"

namespace obra {

namespace {
constexpr int BrowserWidth = 512, LineHeight = 16, BottomBarHeight = 36;
}  // namespace

TFormDir::TFormDir(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("FormDir"));
  setModal(true);
  auto* Rows = new QVBoxLayout(this);
  Rows->setContentsMargins(0, 0, 0, 0);
  Rows->setSpacing(0);

  FileListBox1 = new QListWidget(this);
  FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
  FileListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  FileListBox1->setUniformItemSizes(true);
  QFont F(QStringLiteral("Courier New"));
  F.setStyleHint(QFont::TypeWriter);
  F.setBold(true);
  F.setPixelSize(13);
  FileListBox1->setFont(F);
  unit1::SetColors(FileListBox1, ImageAreaColor, ClSilver, QPalette::Base);
  FileListBox1->installEventFilter(this);
  Rows->addWidget(FileListBox1, 1);

  auto* Bar = new QFrame(this);
  Bar->setObjectName(QStringLiteral("PanelDirBottom"));
  Bar->setFixedHeight(BottomBarHeight);
  unit1::SetColors(Bar, PanelColor, ClBlack);
  auto* Row = new QHBoxLayout(Bar);
  Row->setContentsMargins(6, 4, 6, 4);
  SpeedButtonOpen = new QToolButton(Bar);
  SpeedButtonOpen->setObjectName(QStringLiteral("SpeedButtonOpen"));
  SpeedButtonOpen->setText(QStringLiteral("Open"));
  SpeedButtonOpen->setToolTip(QStringLiteral("Open image (Double-click or Enter)"));
  SpeedButtonOpen->setMinimumWidth(72);
  Row->addWidget(SpeedButtonOpen);
  Row->addStretch(1);
  Rows->addWidget(Bar);

  connect(SpeedButtonOpen, &QToolButton::clicked, this, &TFormDir::SpeedButtonOpenClick);
  connect(FileListBox1, &QListWidget::itemDoubleClicked, this, &TFormDir::SpeedButtonOpenClick);
  connect(FileListBox1, &QListWidget::currentRowChanged, this,
          [](int Row) { Global.DirIndex = Row; });
}

void TFormDir::FormShow(const QWidget& Main) {
  setWindowTitle(
      QString::fromStdString(std::filesystem::path(Global.ImageDir).filename().string()));
  move(Main.pos());
  setFixedSize(BrowserWidth, Main.height());
}

void TFormDir::SyncFromState() {
  const QSignalBlocker Block(FileListBox1);
  if (Listed_ != Global.DirFiles) {
    Listed_ = Global.DirFiles;
    FileListBox1->clear();
    for (const std::string& Name : Listed_) {
      auto* Item = new QListWidgetItem(QString::fromStdString(Name), FileListBox1);
      Item->setSizeHint(QSize(0, LineHeight));
    }
  }
  const int Row = Global.DirIndex < static_cast<int32_t>(Listed_.size()) ? Global.DirIndex : -1;
  if (FileListBox1->currentRow() != Row) FileListBox1->setCurrentRow(Row);
  if (Row < 0) FileListBox1->clearSelection();
}

void TFormDir::SpeedButtonOpenClick() {
  if (Global.DirIndex < 0 || Global.DirIndex >= static_cast<int32_t>(Global.DirFiles.size()))
    return;
  emit OpenRequested();
  close();
}

bool TFormDir::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == FileListBox1 && Event->type() == QEvent::KeyPress) {
    const int Key = static_cast<QKeyEvent*>(Event)->key();
    if (Key == Qt::Key_Return || Key == Qt::Key_Enter) {
      SpeedButtonOpenClick();
      return true;
    }
  }
  return QDialog::eventFilter(Watched, Event);
}

}  // namespace obra
