// The window tests run under one QApplication (platform "offscreen" unless
// QT_QPA_PLATFORM says otherwise) with the small test configuration.
#include <gtest/gtest.h>

#include <QApplication>

#include "GuiSupport.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  obra::SetupApplicationLook(App);
  ::testing::InitGoogleTest(&argc, argv);
  const obra::test::TempDir ConfigDir;
  if (!obra::test::UseTestConfiguration(ConfigDir.Path())) return 1;
  return RUN_ALL_TESTS();
}
