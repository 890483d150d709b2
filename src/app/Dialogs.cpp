// The real modal windows of the program.
#include "Dialogs.h"

#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStringList>

namespace obra {

namespace {

QString Q(const std::string& S) { return QString::fromStdString(S); }

// The program's name, which the platform then shows unchanged.
QString Title() { return QGuiApplication::applicationDisplayName(); }

std::optional<FileAnswer> RunFileDialog(QWidget* Parent, const FileRequest& R, bool Save) {
  QFileDialog D(Parent, Q(R.Title), Q(R.InitialDir));
  D.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  D.setFileMode(Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  D.setOption(QFileDialog::DontConfirmOverwrite, !R.ConfirmOverwrite);
  if (!R.DefaultSuffix.empty()) D.setDefaultSuffix(Q(R.DefaultSuffix));
  QStringList Names;
  for (const FileFilter& F : R.Filters) Names << Q(QtFilterText(F));
  D.setNameFilters(Names);
  if (R.SelectedFilter >= 1 && R.SelectedFilter <= Names.size())
    D.selectNameFilter(Names[R.SelectedFilter - 1]);
  if (!R.FileName.empty()) D.selectFile(Q(R.FileName));
  if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty()) return std::nullopt;
  FileAnswer A;
  A.Path = D.selectedFiles().front().toStdString();
  A.FilterIndex = static_cast<int32_t>(Names.indexOf(D.selectedNameFilter())) + 1;
  if (A.FilterIndex < 1) A.FilterIndex = 1;
  return A;
}

}  // namespace

std::string QtFilterText(const FileFilter& Filter) {
  std::string T = Filter.Name + " (";
  for (size_t I = 0; I < Filter.Patterns.size(); ++I) T += (I ? " " : "") + Filter.Patterns[I];
  return T + ")";
}

void QtDialogs::Message(const std::string& Text) {
  QMessageBox::information(Parent_, Title(), Q(Text));
}

bool QtDialogs::YesNo(const std::string& Text) {
  return QMessageBox::question(Parent_, Title(), Q(Text), QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

Answer QtDialogs::YesNoCancel(const std::string& Text) {
  switch (QMessageBox::question(Parent_, Title(), Q(Text),
                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                QMessageBox::Cancel)) {
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    default:
      return Answer::Cancel;
  }
}

std::optional<FileAnswer> QtDialogs::OpenFile(const FileRequest& Request) {
  return RunFileDialog(Parent_, Request, false);
}

std::optional<FileAnswer> QtDialogs::SaveFile(const FileRequest& Request) {
  return RunFileDialog(Parent_, Request, true);
}

void Dialogs::ShowModal(QDialog& Window) { Window.exec(); }

std::optional<Rgb> QtDialogs::Color(Rgb Initial) {
  const QColor C = QColorDialog::getColor(QColor(Initial.R, Initial.G, Initial.B), Parent_);
  if (!C.isValid()) return std::nullopt;
  return Rgb{static_cast<uint8_t>(C.red()), static_cast<uint8_t>(C.green()),
             static_cast<uint8_t>(C.blue())};
}

}  // namespace obra
