// The main window's controls for solar work: the colour table of the view,
// the header window, the 16-bit FITS export and the window title.
#include <QComboBox>
#include <QToolButton>

#include "HeaderWindow.h"
#include "Unit1.h"
#include "Unit1Support.h"

namespace obra {

using unit1::Q;

void TForm1::SpeedButtonExportClick() {
  SharedState& S = Global;
  if (!S.Image.Valid || S.ResultImage.empty()) return;
  FileRequest R;
  R.Title = "Export 16-bit result as ...";
  R.Filters = {{"FITS - 16-bit result", {"*.fits", "*.fit", "*.fts"}}};
  R.InitialDir = S.SaveDialog1.InitialDir;
  R.FileName = ImageStem(S.ImageName) + "_proc.fits";
  R.DefaultSuffix = "fits";
  R.ConfirmOverwrite = true;
  const std::optional<FileAnswer> A = Dialogs_->SaveFile(R);
  if (!A) return;
  ExportFits(S, A->Path);
  SyncFromState();
}

void TForm1::SpeedButtonHeaderClick() {
  if (!Global.Image.Valid) return;
  if (FormHeader == nullptr) FormHeader = new THeaderWindow(this);
  FormHeader->ShowHeader(Global.ImageFileName, Global.Image.HeaderCards);
  FormHeader->show();
  FormHeader->raise();
  FormHeader->activateWindow();
}

void TForm1::ComboBoxColourTableChange(const QString& Name) {
  StoreGeometry();
  obra::ComboBoxColourTableChange(Global, Name.toStdString());
  SyncFromState();
}

void TForm1::SyncImageName() {
  const SharedState& S = Global;
  const bool Open = S.Image.Valid && !S.ImageName.empty();
  const QString Title = QString::fromLatin1(ProgramTitle) +
                        (Open ? QStringLiteral(" - ") + Q(S.ImageName) : QString());
  if (windowTitle() != Title) setWindowTitle(Title);
  if (FormHeader != nullptr && FormHeader->isVisible() && Open &&
      FormHeader->FileName() != S.ImageFileName)
    FormHeader->ShowHeader(S.ImageFileName, S.Image.HeaderCards);
}

}  // namespace obra
