#include "host/CMainFrame.h"

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>

#include "host/AboutBox.h"
#include "host/CHostrixDoc.h"
#include "host/CHostrixView.h"
#include "host/InstanceChannel.h"
#include "host/QtUi.h"
#include "host/RecentFileList.h"
#include "host/SharedInstanceBlock.h"
#include "host/ShellOpen.h"
#include "host/UserGuidesDialog.h"
#include "platform/settings/Profile.h"
#include "veltra/OrvServer.h"

namespace veltra {

// Where Contact sends the user.
constexpr const char* kSupportAddress = "support@veltra.example";
// How long the desktop's opener has to say it failed (milliseconds).
constexpr int kOpenWait = 1000;

namespace {

// The Pause and Page Mode buttons and the semaphore buttons have no
// standard picture; these come close to their meaning.
QIcon StandardIcon(QStyle::StandardPixmap pixmap) {
  return QApplication::style()->standardIcon(pixmap);
}

}  // namespace

CMainFrame::CMainFrame(CHostrixDoc& document, RecentFileList& recentFiles, QtUi& ui)
    : document_(document), recentFiles_(recentFiles), ui_(ui) {
  view_ = new CHostrixView(document.Store(), document.Console(), this);
  setCentralWidget(view_);

  fileMenu_ = menuBar()->addMenu("&File");
  application_ =
      AddCommand(fileMenu_, "&Application", Qt::Key_F3, "Select application file to run\nApplication",
                 [this] { document_.OnApplication(); });
  fileMenu_->addSeparator();
  // The recent files go in above this separator.
  recentEnd_ = fileMenu_->addSeparator();
  QAction* newInstance = fileMenu_->addAction("New Server Instance");
  connect(newInstance, &QAction::triggered, this, [this] { Q_EMIT NewInstanceRequested(); });
  fileMenu_->addSeparator();
  AddCommand(fileMenu_, "E&xit", QKeySequence(), "Quit the application; prompts to save documents\nExit",
             [this] { close(); });

  QMenu* go = menuBar()->addMenu("Go");
  run_ = AddCommand(go, "&Run", Qt::Key_F5, "Runs the selected Veltra Application\nRun",
                    [this] { document_.OnRun(); });
  stop_ = AddCommand(go, "&Stop", QKeySequence(Qt::SHIFT | Qt::Key_F5),
                     "Stop the currently-running Veltra application\nStop", [this] { document_.OnStop(); });
  pause_ = AddCommand(go, "&Pause", Qt::Key_Pause,
                      "Pauses the application on the next stdout or stderr request\nPause",
                      [this] { document_.OnPause(); });
  pause_->setCheckable(true);
  pageMode_ = AddCommand(go, "Page &Mode", Qt::Key_ScrollLock,
                         "Select page mode to stop output after a page full (Pause continues)\nPage Mode",
                         [this] { document_.OnPageMode(); });
  pageMode_->setCheckable(true);
  reconnect_ = AddCommand(go, "Reconnect", QKeySequence(), "", [this] { document_.OnReconnect(); });

  QMenu* view = menuBar()->addMenu("&View");
  AddCommand(view, "&Options", Qt::Key_F7, "", [this] { document_.OnOptions(); });
  clearScreen_ = AddCommand(view, "&Clear Screen", QKeySequence(Qt::ALT | Qt::Key_C),
                            "Clear the output display\nClear Screen", [this] { document_.OnClearScreen(); });
  toolBarToggle_ = AddCommand(view, "&Toolbar", QKeySequence(), "Show or hide the toolbar\nToggle ToolBar",
                              [this] { toolBar_->setVisible(!toolBar_->isVisible()); });
  toolBarToggle_->setCheckable(true);
  statusBarToggle_ =
      AddCommand(view, "&Status Bar", QKeySequence(), "Show or hide the status bar\nToggle StatusBar",
                 [this] { statusBar()->setVisible(!statusBar()->isVisible()); });
  statusBarToggle_->setCheckable(true);
  semaphoreToggle_ = AddCommand(view, "Host Semaphore Toolbar", QKeySequence(),
                                "Show or hide the host semaphore toolbar\nToggle Host Semaphore Toolbar",
                                [this] { OnToggleSemaphoreToolBar(); });
  semaphoreToggle_->setCheckable(true);

  QMenu* board = menuBar()->addMenu("Board");
  boardSelect_ = AddCommand(board, "Select", QKeySequence(), "", [this] { document_.OnBoardSelect(); });
  boardReset_ = AddCommand(board, "Reset", QKeySequence(), "Reset DSP Board\nReset DSP Board",
                           [this] { document_.OnReset(); });
  boardProperties_ =
      AddCommand(board, "Properties", QKeySequence(), "", [this] { document_.OnBoardProperties(); });

  QMenu* help = menuBar()->addMenu("&Help");
  AddCommand(help, "&Veltra Help", Qt::Key_F1, "Opens Veltra Help pages", [this] { OnUserGuides(); });
  about_ = AddCommand(help, "&About Veltra...", QKeySequence(), "", [this] { ShowAbout(); });
  AddCommand(help, "Contact Orv", QKeySequence(), "", [this] { OnContact(); });

  for (QMenu* menu : {fileMenu_, go, view, board})
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);

  CreateToolBars();

  // Panes 1 to 4 sized for their longest text; pane 0 (prompts) stretches.
  const char* sizes[kPanes] = {"", "Paused", "Running", "Page Mode", "Selected link interface"};
  for (int pane = 1; pane < kPanes; ++pane) {
    auto* label = new QLabel(this);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(sizes[pane]) + 12);
    label->setAlignment(Qt::AlignCenter);
    statusBar()->addPermanentWidget(label);
    panes_[static_cast<size_t>(pane)] = label;
    SetPane(pane, "");
  }
  // Pane 0 says "Ready" whenever no prompt is shown.
  connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& message) {
    if (message.isEmpty()) statusBar()->showMessage("Ready");
  });
  statusBar()->showMessage("Ready");
  SetPauseChecked(false);
  SetPageModeChecked(false);
  setAcceptDrops(true);
  UpdateRecentFiles();
  UpdateCommands();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::CreateToolBars() {
  toolBar_ = new QToolBar("Veltra Toolbar", this);
  toolBar_->setObjectName("VeltraToolbar");
  toolBar_->setIconSize(QSize(16, 15));
  toolBar_->setMovable(true);
  toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
  application_->setIcon(StandardIcon(QStyle::SP_DialogOpenButton));
  run_->setIcon(StandardIcon(QStyle::SP_MediaPlay));
  pause_->setIcon(StandardIcon(QStyle::SP_MediaPause));
  pageMode_->setIcon(StandardIcon(QStyle::SP_ToolBarVerticalExtensionButton));
  stop_->setIcon(StandardIcon(QStyle::SP_MediaStop));
  clearScreen_->setIcon(StandardIcon(QStyle::SP_DialogResetButton));
  boardReset_->setIcon(StandardIcon(QStyle::SP_BrowserReload));
  about_->setIcon(StandardIcon(QStyle::SP_MessageBoxInformation));
  toolBar_->addAction(application_);
  toolBar_->addSeparator();
  toolBar_->addAction(run_);
  toolBar_->addSeparator();
  toolBar_->addAction(pause_);
  toolBar_->addAction(pageMode_);
  toolBar_->addAction(stop_);
  toolBar_->addAction(clearScreen_);
  toolBar_->addSeparator();
  toolBar_->addAction(boardReset_);
  toolBar_->addAction(about_);
  addToolBar(Qt::TopToolBarArea, toolBar_);

  semaphoreBar_ = new QToolBar("Signal Host Semaphores", this);
  semaphoreBar_->setObjectName("SignalHostSemaphores");
  semaphoreBar_->setIconSize(QSize(16, 15));
  semaphoreBar_->setAllowedAreas(Qt::AllToolBarAreas);
  // The buttons show their number.
  semaphoreBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  for (int n = 0; n <= 9; ++n) {
    QAction* action = semaphoreBar_->addAction(QString::number(n));
    action->setStatusTip(QString("Signal host semaphore %1").arg(n));
    action->setToolTip(QString("HostSema %1").arg(n));
    connect(action, &QAction::triggered, this, [this, n] { document_.OnHostSemaphore(n); });
  }
  addToolBar(Qt::BottomToolBarArea, semaphoreBar_);
  semaphoreBar_->hide();
  semaphoreBarShown_ = 0;
}

QAction* CMainFrame::AddCommand(QMenu* menu, const QString& text, const QKeySequence& key,
                                const QString& prompt, std::function<void()> command) {
  QAction* action = menu->addAction(text);
  if (!key.isEmpty()) action->setShortcut(key);
  QStringList parts = prompt.split('\n');
  if (!prompt.isEmpty()) action->setStatusTip(parts[0]);
  if (parts.size() > 1) action->setToolTip(parts[1]);
  connect(action, &QAction::triggered, this, [command = std::move(command)] { command(); });
  return action;
}

void CMainFrame::OnToggleSemaphoreToolBar() {
  semaphoreBarShown_ = semaphoreBarShown_ ? 0 : 1;
  semaphoreBar_->setVisible(semaphoreBarShown_ != 0);
  semaphoreToggle_->setChecked(semaphoreBarShown_ != 0);
}

void CMainFrame::DropFiles(const QStringList& paths) {
  if (paths.size() != 1) {
    Ui::MessageBox(QtUi::Handle(this),
                   "You have selected several files but the server\ncan only run one Veltra application at a "
                   "time.\nPlease select a single file",
                   "Veltra Server: Drag & Drop", MessageIcon::Error);
    return;
  }
  // Taken as it stands: no ".app" added, not looked for here.
  std::string path = paths[0].toLocal8Bit().toStdString().substr(0, kPathSize - 1);
  SharedInstanceBlock& shared = document_.Shared();
  shared.SetApplicationPath(path);
  int32_t owner = shared.Data().mainWindow;
  if (owner != 0 && owner != getpid() &&
      InstanceChannel::Forward(owner, path, QDir::currentPath().toLocal8Bit().toStdString()))
    return;
  QMetaObject::invokeMethod(
      this, [this] { document_.OpenApplication(); }, Qt::QueuedConnection);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    paths.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
  event->acceptProposedAction();
  DropFiles(paths);
}

void CMainFrame::OnUserGuides() {
  const std::vector<UserGuide>& guides = userGuides_.List();
  if (guides.empty()) {
    Ui::MessageBox(QtUi::Handle(this), "The Veltra installation directory cannot be found",
                   "No Veltra User Guides can be found", MessageIcon::Error);
    return;
  }
  std::string folder = guides[0].folder;
  if (guides.size() > 1) {
    UserGuidesDialog dialog(this, guides);
    if (dialog.exec() != QDialog::Accepted || dialog.Chosen() < 0) return;
    folder = guides[static_cast<size_t>(dialog.Chosen())].folder;
  }
  // One request, whose answer is waited for a second: xdg-open asked twice
  // would open the guide twice.
  if (!ShellOpen(folder + "/Veltra.pdf", folder, kOpenWait))
    Ui::MessageBox(QtUi::Handle(this), "Veltra.pdf", "Cannot access User Guide", MessageIcon::Error);
}

void CMainFrame::OnContact() {
  // Without a mail program the user still learns where to write.
  if (!ShellOpen(std::string("mailto:") + kSupportAddress, "", kOpenWait))
    Ui::MessageBox(QtUi::Handle(this),
                   std::string("No mail program could be started.\nPlease write to ") + kSupportAddress,
                   "Contact Orv", MessageIcon::Information);
}

void CMainFrame::ShowAbout() {
  OrvServer* server = document_.Server();
  AboutBox box(this, document_.EngineMajor(), document_.EngineMinor(),
               server ? server->linkManager : nullptr);
  box.exec();
}

void CMainFrame::SetPane(int pane, const std::string& text) {
  if (pane <= 0 || pane >= kPanes) {
    statusBar()->showMessage(QString::fromStdString(text));
    return;
  }
  QLabel* label = panes_[static_cast<size_t>(pane)];
  label->setText(QString::fromLocal8Bit(text.c_str()));
  // Raised while it says something, flat when empty.
  label->setFrameStyle(text.empty() ? QFrame::NoFrame : (QFrame::Panel | QFrame::Raised));
}

QString CMainFrame::PaneText(int pane) const {
  if (pane <= 0 || pane >= kPanes) return statusBar()->currentMessage();
  return panes_[static_cast<size_t>(pane)]->text();
}

void CMainFrame::SetFileMenuEnabled(bool enabled) {
  fileMenu_->setEnabled(enabled);
  for (QAction* action : fileMenu_->actions()) action->setEnabled(enabled);
  if (enabled) UpdateCommands();
}

void CMainFrame::SetPauseChecked(bool checked) {
  pause_->setChecked(checked);
}

void CMainFrame::SetPageModeChecked(bool checked) {
  pageMode_->setChecked(checked);
}

void CMainFrame::SetTitle(const std::string& title) {
  setWindowTitle(QString::fromLocal8Bit(title.c_str()));
  repaint();
}

void CMainFrame::UpdateRecentFiles() {
  for (QAction* action : recentActions_) {
    fileMenu_->removeAction(action);
    action->deleteLater();
  }
  recentActions_.clear();
  int number = 1;
  for (const std::string& path : recentFiles_.Entries()) {
    auto* action =
        new QAction(QString("&%1 %2").arg(number++, 0, 16).arg(QString::fromStdString(path)), fileMenu_);
    action->setStatusTip("Open this document");
    connect(action, &QAction::triggered, this, [this, path] { document_.Select(path); });
    fileMenu_->insertAction(recentEnd_, action);
    recentActions_.append(action);
  }
}

void CMainFrame::UpdateCommands() {
  bool idle = document_.IdleCommandsEnabled();
  run_->setEnabled(document_.RunEnabled());
  stop_->setEnabled(document_.StopEnabled());
  bool fileEnabled = idle;
  fileMenu_->setEnabled(fileEnabled);
  application_->setEnabled(idle);
  reconnect_->setEnabled(idle);
  boardSelect_->setEnabled(idle);
  boardReset_->setEnabled(idle);
  boardProperties_->setEnabled(idle);
  pause_->setChecked(document_.Console().Paused());
  pageMode_->setChecked(document_.Console().PageMode());
  toolBarToggle_->setChecked(toolBar_->isVisible());
  statusBarToggle_->setChecked(statusBar()->isVisible());
  semaphoreToggle_->setChecked(semaphoreBarShown_ != 0);
}

void CMainFrame::RepaintView() {
  view_->RepaintAll();
}

void CMainFrame::GuiRequest(int kind) {
  switch (kind) {
    case CHostrixDoc::kRefreshViews:
      view_->DisplayUpdate();
      break;
    case CHostrixDoc::kStandardInput:
      document_.RunStandardInput();
      break;
    case CHostrixDoc::kShowPaused:
      SetPane(1, "Paused");
      SetPauseChecked(true);
      break;
    case CHostrixDoc::kClearPaused:
      SetPane(1, "");
      SetPauseChecked(false);
      break;
    case CHostrixDoc::kClearRunning:
      SetPane(2, "");
      break;
    default:
      break;
  }
}

StandardInputResult CMainFrame::RunStandardInput(const std::string& title, bool echo) {
  StandardInputDialog* dialog = new StandardInputDialog(this, QString::fromLocal8Bit(title.c_str()), echo);
  inputDialog_ = dialog;
  StandardInputResult result = dialog->Run();
  inputDialog_ = nullptr;
  dialog->deleteLater();
  return result;
}

void CMainFrame::EndStandardInput() {
  if (inputDialog_) inputDialog_->End(StandardInputResult::EndOfFile);
}

void CMainFrame::BringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void CMainFrame::SaveWindowPlace() {
  QRect frame = frameGeometry();
  WriteProfileInt(kSettingsSection, "WindowT", frame.top());
  WriteProfileInt(kSettingsSection, "WindowL", frame.left());
  WriteProfileInt(kSettingsSection, "WindowB", frame.bottom() + 1);
  WriteProfileInt(kSettingsSection, "WindowR", frame.right() + 1);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    closed_ = true;
    // Nothing may wait on this thread any more: boxes and the input dialog
    // close, calls from the server thread that have not started are dropped,
    // and the run ends.
    ui_.BeginClosing();
    document_.BeginClose();
    EndStandardInput();
    SaveWindowPlace();
    Q_EMIT Closed();
  }
  event->accept();
}

}  // namespace veltra
