// obra-cli: the program's operations without the window.
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <string>
#include <vector>

#include "Cli.h"

namespace {
// Qt's own notes (such as a missing XDG_RUNTIME_DIR for the offscreen text
// drawing) are not the user's business; real faults are printed by the commands.
void QuietQtMessages(QtMsgType Type, const QMessageLogContext&, const QString& Text) {
  if (Type == QtCriticalMsg || Type == QtFatalMsg)
    std::fprintf(stderr, "%s\n", Text.toLocal8Bit().constData());
}
}  // namespace

int main(int argc, char** argv) {
  using obra::cli::Commands;
  qInstallMessageHandler(QuietQtMessages);
  std::vector<std::string> Args(argv + 1, argv + argc);
  if (!Args.empty()) {
    for (const auto& C : Commands())
      if (C.Name == Args[0]) return C.Run({Args.begin() + 1, Args.end()});
  }
  std::fprintf(stderr, "usage:\n");
  for (const auto& C : Commands())
    std::fprintf(stderr, "  obra-cli %.*s\n", static_cast<int>(C.Usage.size()), C.Usage.data());
  return 2;
}
