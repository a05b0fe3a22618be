#include "host/HostrixApp.h"

#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "host/BadTty.h"
#include "host/CHostrixDoc.h"
#include "host/CHostrixView.h"
#include "host/CMainFrame.h"
#include "host/HostCommandLine.h"
#include "host/InstanceChannel.h"
#include "host/QtUi.h"
#include "host/RecentFileList.h"
#include "host/SharedInstanceBlock.h"
#include "host/WindowPlacement.h"
#include "platform/DynamicLibrary.h"
#include "platform/settings/Profile.h"
#include "platform/settings/Registry.h"
#include "veltra/LinkManager.h"

extern char** environ;

namespace veltra {

namespace {

int quitPipe[2] = {-1, -1};

void OnQuitSignal(int) {
  char byte = 1;
  [[maybe_unused]] ssize_t written = write(quitPipe[1], &byte, 1);
}

QtMessageHandler startHandler = nullptr;

// Qt ends the program with abort() when its platform cannot be opened (no
// display, an X server out of reach): a core dump for what is a matter of
// the session. Said plainly instead, with the way to run without a display.
void OnStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    // Qt hands back its own default handler when none was installed.
    if (startHandler) startHandler(type, context, message);
    return;
  }
  const char* display = std::getenv("DISPLAY");
  std::fprintf(stderr,
               "%s\nHostrix: no window can be opened here (DISPLAY %s%s%s). "
               "veltra-run runs applications without a display.\n",
               qPrintable(message), display ? "is \"" : "is not set", display ? display : "",
               display ? "\"" : "");
  std::fflush(stderr);
  std::_Exit(1);
}

// SIGTERM, SIGINT and SIGHUP close the main window as a user would, so the
// run and the application end cleanly.
void InstallQuitSignals(CMainFrame& frame) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, quitPipe) != 0) return;
  auto* notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &frame);
  QObject::connect(notifier, &QSocketNotifier::activated, &frame, [&frame, notifier] {
    char byte;
    [[maybe_unused]] ssize_t got = read(quitPipe[0], &byte, 1);
    notifier->setEnabled(false);
    frame.close();
  });
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

WorkArea DesktopWorkArea() {
  QRect area(0, 0, 1024, 768);
  if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
  return WorkArea{area.width(), area.height(), area.x() + area.width(), area.y() + area.height()};
}

void PlaceMainWindow(CMainFrame& frame, SharedInstanceBlock& shared, int counter) {
  SharedInstanceData& data = shared.Data();
  if (counter == 1) {
    data.firstTop = GetProfileInt(kSettingsSection, "WindowT", 0);
    data.firstBottom = GetProfileInt(kSettingsSection, "WindowB", 0);
    data.firstLeft = GetProfileInt(kSettingsSection, "WindowL", 0);
    data.firstRight = GetProfileInt(kSettingsSection, "WindowR", 0);
  }
  WindowRect stored{data.firstTop, data.firstBottom, data.firstLeft, data.firstRight};
  WindowRect placed = PlaceWindow(stored, counter, DesktopWorkArea());
  WriteProfileInt(kSettingsSection, "WindowT", placed.top);
  WriteProfileInt(kSettingsSection, "WindowB", placed.bottom);
  WriteProfileInt(kSettingsSection, "WindowL", placed.left);
  WriteProfileInt(kSettingsSection, "WindowR", placed.right);
  frame.setGeometry(placed.left, placed.top, placed.right - placed.left, placed.bottom - placed.top);
}

}  // namespace

std::string InstallationDirectory() {
  Registry key;
  std::string directory;
  if (key.Open(RegistryRoot::LocalMachine, "SOFTWARE\\Orv Limited\\Orv Veltra") &&
      key.ReadString("Veltra", directory) == RegistryStatus::Ok && !directory.empty()) {
    if (directory.back() != '/') directory += '/';
    return directory;
  }
  // The build tree and an installation both keep the program in bin/.
  std::filesystem::path own = DynamicLibrary::ProgramDirectory();
  std::filesystem::path above = own.lexically_normal().parent_path().parent_path();
  if (above.empty()) return "";
  std::string text = above.string();
  if (text.back() != '/') text += '/';
  return text;
}

void StartNewInstance(SharedInstanceBlock& shared) {
  std::string directory = InstallationDirectory();
  if (directory.empty()) {
    Ui::MessageBox(nullptr, "Cannot locate Hostrix", "Unable to start new server instance",
                   MessageIcon::Warning);
    return;
  }
  std::string program = directory + "bin/Hostrix";
  // The new process must not hand its start over to this one.
  shared.Data().mainWindow = 0;
  char* argv[] = {program.data(), nullptr};
  pid_t pid = 0;
  int error = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ);
  if (error != 0) {
    std::string text = std::strerror(error);
    if (text.size() > 128) text.resize(128);
    Ui::MessageBox(nullptr, text.empty() ? "Unknown error" : text, "Hostrix", MessageIcon::Warning);
  }
}

int RunHostrix(int argc, char** argv) {
  startHandler = qInstallMessageHandler(OnStartMessage);
  QApplication app(argc, argv);
  qInstallMessageHandler(startHandler);
  app.setQuitOnLastWindowClosed(false);
  QtUi ui;
  Ui::Install(&ui);
  struct Uninstall {
    ~Uninstall() { Ui::Install(nullptr); }
  } uninstall;

  SharedInstanceBlock shared;
  shared.Attach();
  int counter = shared.CountInstance();

  RecentFileList recentFiles;
  recentFiles.Load();

  std::vector<std::string> args(argv + 1, argv + argc);
  HostCommandLine commandLine = ParseHostCommandLine(args);
  // Only ever set: every later automatic run in any instance passes it on.
  if (commandLine.exitFlag) shared.Data().exitFlag = 1;
  std::string application = commandLine.application;
  if (!application.empty()) application = WithApplicationExtension(application);
  shared.SetApplicationPath(application);
  if (!application.empty()) {
    std::string problem = ApplicationFileProblem(application);
    if (!problem.empty()) {
      std::string text = "The Veltra server cannot start.\nApplication " + application;
      if (std::filesystem::exists(application) || problem.find("longer") != std::string::npos)
        text += " cannot be opened: " + problem + ".";
      else
        text += " does not exist.";
      Ui::MessageBox(nullptr, text, "Server Failure", MessageIcon::Error);
      return 1;
    }
  }
  std::error_code ec;
  std::string directory = std::filesystem::current_path(ec).string();
  shared.SetWorkingDirectory(directory);

  int32_t running = shared.Data().mainWindow;
  bool multiple = GetProfileInt(kSettingsSection, "MultipleInst", 0) != 0;
  if (running != 0 && !multiple && running != getpid()) {
    // A recorded instance that cannot be reached has died: this start
    // becomes the full instance instead.
    if (InstanceChannel::Forward(running, application, directory)) return 0;
  }

  std::unique_ptr<CHostrixDoc> document;
  try {
    document = std::make_unique<CHostrixDoc>(shared, recentFiles);
  } catch (const bad_tty& e) {
    Ui::MessageBox(nullptr, e.what(), "Fatal Error", MessageIcon::Error);
    return 1;
  }
  std::string fatal;
  if (!document->LoadEngine(fatal)) {
    Ui::MessageBox(nullptr, fatal, "Fatal Error", MessageIcon::Error);
    return 1;
  }
  auto frame = std::make_unique<CMainFrame>(*document, recentFiles, ui);
  ui.SetMainWindow(frame.get());
  if (!document->CreateServer(frame.get(), fatal)) {
    Ui::MessageBox(QtUi::Handle(frame.get()), fatal, "Fatal Error", MessageIcon::Error);
    document->SetFrame(nullptr);
    return 1;
  }
  QObject::connect(frame.get(), &CMainFrame::NewInstanceRequested, frame.get(),
                   [&shared] { StartNewInstance(shared); });
  InstallQuitSignals(*frame);
  // Ends every event loop of this thread, the nested ones of boxes too.
  QObject::connect(frame.get(), &CMainFrame::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

  PlaceMainWindow(*frame, shared, counter);
  frame->show();
  frame->showNormal();

  shared.Data().mainWindow = getpid();
  InstanceChannel channel;
  channel.Listen(getpid());
  QObject::connect(&channel, &InstanceChannel::OpenRequested, frame.get(),
                   [&](const QString& path, const QString& workingDirectory) {
                     frame->BringToFront();
                     shared.SetApplicationPath(path.toStdString());
                     shared.SetWorkingDirectory(workingDirectory.toStdString());
                     document->OpenApplication();
                   });

  if (OrvServer* server = document->Server(); server && server->linkManager) {
    char name[kInterfaceNameSize] = {};
    server->linkManager->InterfaceName(name);
    name[kInterfaceNameSize - 1] = '\0';
    frame->SetPane(4, name);
  }
  frame->View()->DisplayUpdate();
  QMetaObject::invokeMethod(
      frame.get(), [&document] { document->OpenApplication(); }, Qt::QueuedConnection);

  app.exec();

  // The run and the server thread end before the windows go.
  ui.BeginClosing();
  document->BeginClose();
  document->Shutdown();
  if (shared.Data().mainWindow == getpid()) shared.Data().mainWindow = 0;
  // What was posted while the program wound down is delivered (calls from
  // the server thread find themselves dropped) before the windows go.
  QCoreApplication::sendPostedEvents();
  document->SetFrame(nullptr);
  ui.SetMainWindow(nullptr);
  frame.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  document.reset();
  return 0;
}

}  // namespace veltra
