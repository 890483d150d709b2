// The program: reads its configuration beside the executable, prepares the
// shared state and runs the main window until it closes.
#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include "Batch.h"
#include "Global.h"
#include "IniFile.h"
#include "Unit1.h"

int main(int argc, char* argv[]) {
  QApplication App(argc, argv);
  obra::SetupApplicationLook(App);

  obra::ProgramDir = QCoreApplication::applicationDirPath().toStdString();
  if (const obra::IniStatus Status = obra::GetIniFile(); Status.Fatal) {
    QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(),
                          QString::fromStdString(Status.Message));
    return 1;
  }
  obra::InitializeState(obra::Global);

  int Result = 0;
  {
    obra::TForm1 Form1;
    obra::TFormBatch FormBatch(Form1);
    // Without a window manager "maximized" means nothing: start screen-sized anyway.
    if (const QScreen* Screen = QGuiApplication::primaryScreen())
      Form1.resize(Screen->availableGeometry().size().expandedTo(Form1.minimumSize()));
    Form1.showMaximized();
    Result = App.exec();
  }
  // Nothing may still compute over the buffers once the window is gone.
  obra::Global.Workers.reset();
  return Result;
}
