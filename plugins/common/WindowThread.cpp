#include "plugins/common/WindowThread.h"

#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPixmapCache>
#include <cstdlib>
#include <string>

#include "platform/Ui.h"

namespace veltra::WindowThread {
namespace {

// Qt keeps pointers to argc and argv for the life of the application.
int argumentCount = 3;
char programName[] = "veltra";
char platformOption[] = "-platform";
std::string platformName = "offscreen";
char* arguments[] = {programName, platformOption, nullptr, nullptr};

// The off-screen desktop is 1920 x 1080, so that a graph at its default
// place has room for its titles and labels (the platform's own is 800 x 600).
// Returns the file that describes it, or "" when none could be written.
std::string WriteScreenFile() {
  char path[] = "/tmp/veltra-screen-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return "";
  const char kScreen[] =
      "{\"screens\": [{\"name\": \"veltra\", \"x\": 0, \"y\": 0, \"width\": 1920, \"height\": 1080, "
      "\"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}\n";
  bool written = write(fd, kScreen, sizeof kScreen - 1) == static_cast<ssize_t>(sizeof kScreen - 1);
  close(fd);
  if (written) return path;
  unlink(path);
  return "";
}

int plainArgumentCount = 1;
char* plainArguments[] = {programName, nullptr};

// Set when a plug-in made the application object on the run's thread.
bool madeForTheRun = false;

void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  // No GUI host: this thread becomes the windows' thread. The application
  // object lives until the process ends, as the windows may.
  std::string screenFile = WriteScreenFile();
  if (!screenFile.empty()) platformName += ":configfile=" + screenFile;
  arguments[2] = platformName.data();
  new QApplication(argumentCount, arguments);
  madeForTheRun = true;
  // The platform has read it.
  if (!screenFile.empty()) unlink(screenFile.c_str());
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

bool Headless() {
  return QCoreApplication::instance() && QGuiApplication::platformName() == "offscreen";
}

void RunEnded() {
  // A GUI host's windows' thread outlives the run: nothing to do there.
  if (madeForTheRun) Run([] { QPixmapCache::clear(); });
}

}  // namespace veltra::WindowThread
