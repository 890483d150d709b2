// The "Header" window.
#include "HeaderWindow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>

#include "FitsHeader.h"

namespace obra {

THeaderWindow::THeaderWindow(QWidget* Parent) : QWidget(Parent, Qt::Window) {
  setObjectName(QStringLiteral("FormHeader"));
  setWindowTitle(QStringLiteral("Header"));
  resize(700, 600);
  auto* Col = new QVBoxLayout(this);
  auto* FindRow = new QHBoxLayout;
  auto* FindTitle = new QLabel(QStringLiteral("Find"), this);
  EditFind = new QLineEdit(this);
  EditFind->setObjectName(QStringLiteral("EditFind"));
  EditFind->setToolTip(QStringLiteral("Text to find in the header; Enter finds the next one"));
  EditFind->setClearButtonEnabled(true);
  LabelFind = new QLabel(this);
  LabelFind->setObjectName(QStringLiteral("LabelFind"));
  LabelFind->setMinimumWidth(80);
  FindRow->addWidget(FindTitle);
  FindRow->addWidget(EditFind, 1);
  FindRow->addWidget(LabelFind);
  Col->addLayout(FindRow);

  MemoHeader = new QPlainTextEdit(this);
  MemoHeader->setObjectName(QStringLiteral("MemoHeader"));
  MemoHeader->setReadOnly(true);
  MemoHeader->setLineWrapMode(QPlainTextEdit::NoWrap);
  MemoHeader->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Col->addWidget(MemoHeader, 1);

  // Typing searches from the top, so the first occurrence shows; Enter goes on.
  connect(EditFind, &QLineEdit::textEdited, this, [this] {
    MemoHeader->moveCursor(QTextCursor::Start);
    FindNext();
  });
  connect(EditFind, &QLineEdit::returnPressed, this, &THeaderWindow::FindNext);
}

void THeaderWindow::ShowHeader(const std::string& FileName, const std::vector<std::string>& Cards) {
  FileName_ = FileName;
  const size_t Slash = FileName.find_last_of("/\\");
  const std::string Name = Slash == std::string::npos ? FileName : FileName.substr(Slash + 1);
  setWindowTitle(QStringLiteral("Header - ") + QString::fromStdString(Name));
  QString Text;
  for (const std::string& Line : HeaderLines(Cards)) {
    if (!Text.isEmpty()) Text += QLatin1Char('\n');
    Text += QString::fromLatin1(Line.data(), static_cast<qsizetype>(Line.size()));
  }
  MemoHeader->setPlainText(Text);
  LabelFind->clear();
}

bool THeaderWindow::FindNext() {
  const QString Wanted = EditFind->text();
  LabelFind->clear();
  if (Wanted.isEmpty()) return false;
  if (MemoHeader->find(Wanted)) return true;
  // Not found after the cursor: start again at the top.
  MemoHeader->moveCursor(QTextCursor::Start);
  if (MemoHeader->find(Wanted)) return true;
  LabelFind->setText(QStringLiteral("Not found"));
  return false;
}

}  // namespace obra
