#include "plugins/graph/cluster/GraphGui.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdlib>

#include "platform/Ui.h"

namespace veltra::GraphGui {
namespace {

// Qt keeps pointers to argc and argv for the life of the application.
int argumentCount = 3;
char programName[] = "veltra";
char platformOption[] = "-platform";
char platformName[] = "offscreen";
char* arguments[] = {programName, platformOption, platformName, nullptr};

int plainArgumentCount = 1;
char* plainArguments[] = {programName, nullptr};

void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  // No GUI host: this thread becomes the windows' thread. The application
  // object lives until the process ends, as the windows may.
  new QApplication(argumentCount, arguments);
}

}  // namespace

void Run(const std::function<void()>& function) {
  Ui::Invoke([&function] {
    EnsureApplication();
    function();
  });
}

void DispatchPending() {
  Run([] { QCoreApplication::processEvents(); });
}

void EnsureCallerApplication() {
  if (QCoreApplication::instance()) return;
  if (std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) {
    new QApplication(plainArgumentCount, plainArguments);
    return;
  }
  EnsureApplication();
}

}  // namespace veltra::GraphGui
