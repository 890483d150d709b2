// The configuration editor: memo, five buttons and the warning label.
#include "IniEditor.h"

#include <QFont>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStringList>
#include <QToolButton>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "AtomicWrite.h"
#include "Dialogs.h"
#include "Global.h"
#include "IOGraphics.h"
#include "IniFile.h"

namespace fs = std::filesystem;

namespace obra {

namespace {

// A configuration text is a few kilobytes; anything far larger is not one.
constexpr std::uintmax_t MaxIniFileSize = 4u << 20;

const std::vector<FileFilter>& IniFilters() {
  static const std::vector<FileFilter> F = {{"INI file", {"*.ini"}}};
  return F;
}

QToolButton* MakeButton(QWidget* Parent, const char* Name, const char* Caption) {
  auto* B = new QToolButton(Parent);
  B->setObjectName(QString::fromLatin1(Name));
  B->setText(QString::fromLatin1(Caption));
  B->setToolButtonStyle(Qt::ToolButtonTextOnly);
  B->setMinimumWidth(72);
  // The captions stay whole; the warning beside them wraps instead.
  B->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  return B;
}

// The file's bytes, or the reason they cannot be read.
bool ReadText(const fs::path& File, std::string& Text, std::string& Error) {
  std::error_code Ec;
  const std::uintmax_t Size = fs::file_size(File, Ec);
  if (Ec) {
    Error = "Cannot open file " + File.string() + ". " + Ec.message();
    return false;
  }
  if (Size > MaxIniFileSize) {
    Error = "The file " + File.string() + " is too large for a configuration file.";
    return false;
  }
  std::ifstream In(File, std::ios::binary);
  std::ostringstream Out;
  if (In) Out << In.rdbuf();
  if (!In || In.bad()) {
    Error = "Cannot read file " + File.string() + ". " + std::strerror(errno ? errno : EIO);
    return false;
  }
  Text = Out.str();
  return true;
}

}  // namespace

TFormIniEdit::TFormIniEdit(Dialogs& Modal, QWidget* Parent) : QDialog(Parent), Modal_(Modal) {
  setObjectName(QStringLiteral("FormIniEdit"));
  setWindowTitle(QStringLiteral("OBRA.ini"));
  setModal(true);
  resize(720, 720);
  auto* Rows = new QVBoxLayout(this);
  Rows->setContentsMargins(0, 0, 0, 4);

  MemoIni = new QPlainTextEdit(this);
  MemoIni->setObjectName(QStringLiteral("MemoIni"));
  MemoIni->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoIni->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont Fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  Fixed.setStyleHint(QFont::TypeWriter);
  Fixed.setFixedPitch(true);
  Fixed.setPixelSize(13);
  MemoIni->setFont(Fixed);
  Rows->addWidget(MemoIni, 1);

  auto* Buttons = new QHBoxLayout;
  Buttons->setContentsMargins(6, 0, 6, 0);
  SpeedButtonApply = MakeButton(this, "SpeedButtonApply", "Apply and Save");
  SpeedButtonDefault = MakeButton(this, "SpeedButtonDefault", "Default");
  SpeedButtonSaveAs = MakeButton(this, "SpeedButtonSaveAs", "Save as ...");
  SpeedButtonOpen = MakeButton(this, "SpeedButtonOpen", "Load");
  SpeedButtonCancel = MakeButton(this, "SpeedButtonCancel", "Cancel");
  for (QToolButton* B : {SpeedButtonApply, SpeedButtonDefault, SpeedButtonSaveAs, SpeedButtonOpen,
                         SpeedButtonCancel})
    Buttons->addWidget(B);
  LabelWarning = new QLabel(
      QStringLiteral("Warning: Correctness of set values is not checked by the program."), this);
  LabelWarning->setObjectName(QStringLiteral("LabelWarning"));
  QFont Bold = LabelWarning->font();
  Bold.setBold(true);
  LabelWarning->setFont(Bold);
  LabelWarning->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));
  LabelWarning->setWordWrap(true);
  Buttons->addSpacing(8);
  Buttons->addWidget(LabelWarning, 1);
  Rows->addLayout(Buttons);

  connect(MemoIni, &QPlainTextEdit::textChanged, this, &TFormIniEdit::MemoIniChange);
  connect(SpeedButtonApply, &QToolButton::clicked, this, &TFormIniEdit::SpeedButtonApplyClick);
  connect(SpeedButtonDefault, &QToolButton::clicked, this, &TFormIniEdit::SpeedButtonDefaultClick);
  connect(SpeedButtonSaveAs, &QToolButton::clicked, this, &TFormIniEdit::SpeedButtonSaveAsClick);
  connect(SpeedButtonOpen, &QToolButton::clicked, this, &TFormIniEdit::SpeedButtonOpenClick);
  connect(SpeedButtonCancel, &QToolButton::clicked, this, &TFormIniEdit::SpeedButtonCancelClick);
}

bool TFormIniEdit::LoadText(const fs::path& File) {
  std::string Text, Error;
  if (!ReadText(File, Text, Error)) {
    Modal_.Message(Error);
    return false;
  }
  // The memo holds lines; CR LF and LF both end one.
  std::string Lines;
  Lines.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I)
    if (!(Text[I] == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n')) Lines += Text[I];
  MemoIni->setPlainText(QString::fromUtf8(Lines.data(), static_cast<qsizetype>(Lines.size())));
  return true;
}

bool TFormIniEdit::LoadConfiguration() { return LoadText(FindFileNoCase(ProgramDir, "OBRA.ini")); }

std::string TFormIniEdit::FileText() const {
  const QString Plain = MemoIni->toPlainText();
  QStringList Lines = Plain.split(QLatin1Char('\n'));
  // A final line break ends the last line; it opens no empty one.
  if (!Lines.isEmpty() && Lines.back().isEmpty()) Lines.removeLast();
  std::string Text;
  for (const QString& L : Lines) (Text += L.toUtf8().toStdString()) += "\r\n";
  return Text;
}

void TFormIniEdit::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  FormShow();
}

void TFormIniEdit::FormShow() { SpeedButtonApply->setEnabled(false); }

void TFormIniEdit::MemoIniChange() { SpeedButtonApply->setEnabled(true); }

void TFormIniEdit::SpeedButtonApplyClick() {
  const std::string Text = FileText();
  // A text that would end the program at every start is never written.
  if (const IniStatus Check = CheckIniText(Text); Check.Fatal) {
    Modal_.Message(Check.Message);
    return;
  }
  const fs::path File = FindFileNoCase(ProgramDir, "OBRA.ini");
  if (const WriteOutcome W = WriteTextFileAtomic(File.string(), Text); !W) {
    Modal_.Message("Cannot save " + File.string() + ". " + W.ErrorText);
    return;
  }
  if (const IniStatus Read = GetIniFile(); Read.Fatal) {
    Modal_.Message(Read.Message);
    return;
  }
  const bool Delete =
      Global.ActivationReady && Modal_.YesNo("Delete the activation data for old setting?");
  DiscardActivation(Global, Delete);
  emit Applied();
  accept();
}

void TFormIniEdit::SpeedButtonDefaultClick() {
  if (LoadText(FindFileNoCase(ProgramDir, "Default.ini"))) SpeedButtonApply->setEnabled(true);
}

void TFormIniEdit::SpeedButtonSaveAsClick() {
  FileRequest R;
  R.Title = "Save INI file as ...";
  R.Filters = IniFilters();
  R.DefaultSuffix = "ini";
  R.ConfirmOverwrite = true;
  R.InitialDir = ProgramDir.string();
  const std::optional<FileAnswer> A = Modal_.SaveFile(R);
  if (!A) return;
  const std::string Name = UpperCase(fs::path(A->Path).filename().string());
  if (Name == "OBRA.INI" || Name == "DEFAULT.INI") {
    Modal_.Message("It is not possible to use file names OBRA.INI and DEFAULT.INI");
    return;
  }
  if (const WriteOutcome W = WriteTextFileAtomic(A->Path, FileText()); !W)
    Modal_.Message("Cannot save " + A->Path + ". " + W.ErrorText);
}

void TFormIniEdit::SpeedButtonOpenClick() {
  FileRequest R;
  R.Title = "Load save INI file";
  R.Filters = IniFilters();
  R.DefaultSuffix = "ini";
  R.InitialDir = ProgramDir.string();
  const std::optional<FileAnswer> A = Modal_.OpenFile(R);
  if (A && LoadText(A->Path)) SpeedButtonApply->setEnabled(true);
}

void TFormIniEdit::SpeedButtonCancelClick() { reject(); }

}  // namespace obra
