// Renders the four panels to PNG files for looking at by eye:
//   panel_snapshot DIRECTORY
// The settings go to a scratch store so that no real placement is touched.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include <QCheckBox>
#include <QRadioButton>

#include "plugins/panel/BigText.h"
#include "plugins/panel/InputPanel.h"
#include "plugins/panel/MainPanel.h"
#include "plugins/panel/ModulePanel.h"
#include "plugins/panel/StatusPanel.h"

using namespace veltra;

namespace {

void Write(QWidget& window, const QString& directory, const char* name) {
  window.show();
  QApplication::processEvents();
  const QString path = QDir(directory).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
  if (!window.grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: panel_snapshot DIRECTORY\n");
    return 2;
  }
  QTemporaryDir store;
  setenv("VELTRA_CONFIG_DIR", qPrintable(store.path()), 1);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  const QString directory = QString::fromLocal8Bit(argv[1]);

  MainPanel main("Plexa_310");
  main.TakeSettings();
  Write(main, directory, "main");
  main.LoadPatternFile(QStringLiteral("/data/patterns/ramp.pat"));
  main.CustomRadio()->click();
  main.TakeSettings();
  Write(main, directory, "main-custom");
  main.PatternCheck()->click();
  Write(main, directory, "main-disabled");

  StatusPanel status("Plexa_310");
  status.ShowText(QStringLiteral("Running 42"));
  Write(status, directory, "status");
  status.Display()->setEnabled(false);
  Write(status, directory, "status-disabled");

  InputPanel input("Plexa_310");
  Write(input, directory, "input");
  ModulePanel module("Plexa_300");
  Write(module, directory, "module");
  return 0;
}
