#include "plugins/panel/PanelGui.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <atomic>

#include "platform/Ui.h"

namespace veltra::PanelGui {
namespace {

std::atomic<bool> headless{false};

// Qt keeps pointers to argc and argv for the life of the application.
int argumentCount = 3;
char programName[] = "veltra";
char platformOption[] = "-platform";
char platformName[] = "offscreen";
char* arguments[] = {programName, platformOption, platformName, nullptr};

void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  // No GUI host: this thread becomes the windows' thread. The application
  // object lives until the process ends, as the windows may.
  new QApplication(argumentCount, arguments);
  headless = true;
}

}  // namespace

void Run(const std::function<void()>& function) {
  Ui::Invoke([&function] {
    EnsureApplication();
    function();
  });
}

bool Headless() {
  // The application object may have come from another plug-in (the graph
  // cluster makes one the same way): off screen is off screen.
  return headless || (QCoreApplication::instance() && QGuiApplication::platformName() == "offscreen");
}

}  // namespace veltra::PanelGui
