#include "host/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>

#include "host/CHostrixDoc.h"
#include "host/CHostrixView.h"
#include "host/QtUi.h"
#include "host/RecentFileList.h"
#include "platform/settings/Profile.h"

namespace veltra {

CMainFrame::CMainFrame(CHostrixDoc& document, RecentFileList& recentFiles, QtUi& ui)
    : document_(document), recentFiles_(recentFiles), ui_(ui) {
  view_ = new CHostrixView(document.Store(), document.Console(), this);
  setCentralWidget(view_);

  fileMenu_ = menuBar()->addMenu("&File");
  application_ = AddCommand(fileMenu_, "&Application...", Qt::Key_F3, [this] { document_.OnApplication(); });
  application_->setStatusTip("Select application file to run");
  recentMenu_ = fileMenu_->addMenu("Recent Applications");
  fileMenu_->addSeparator();
  QAction* newInstance = fileMenu_->addAction("New Server Instance");
  connect(newInstance, &QAction::triggered, this, [this] { Q_EMIT NewInstanceRequested(); });
  fileMenu_->addSeparator();
  QAction* exit = fileMenu_->addAction("E&xit");
  exit->setStatusTip("Quit the application");
  connect(exit, &QAction::triggered, this, &QWidget::close);

  QMenu* go = menuBar()->addMenu("&Go");
  run_ = AddCommand(go, "&Run", Qt::Key_F5, [this] { document_.OnRun(); });
  run_->setStatusTip("Runs the selected Veltra Application");
  stop_ = AddCommand(go, "&Stop", QKeySequence(Qt::SHIFT | Qt::Key_F5), [this] { document_.OnStop(); });
  stop_->setStatusTip("Stop the currently-running Veltra application");
  pause_ = AddCommand(go, "&Pause", Qt::Key_Pause, [this] { document_.OnPause(); });
  pause_->setCheckable(true);
  pause_->setStatusTip("Pauses the application on the next stdout or stderr request");
  pageMode_ = AddCommand(go, "Page &Mode", Qt::Key_ScrollLock, [this] { document_.OnPageMode(); });
  pageMode_->setCheckable(true);
  pageMode_->setStatusTip("Select page mode to stop output after a page full (Pause continues)");
  reconnect_ = AddCommand(go, "Reconnect", QKeySequence(), [this] { document_.OnReconnect(); });
  QMenu* semaphores = go->addMenu("Signal Host Semaphore");
  for (int n = 0; n <= 9; ++n) {
    QAction* action = semaphores->addAction(QString("Host Semaphore %1").arg(n));
    action->setStatusTip(QString("Signal host semaphore %1").arg(n));
    connect(action, &QAction::triggered, this, [this, n] { document_.OnHostSemaphore(n); });
  }

  QMenu* view = menuBar()->addMenu("&View");
  AddCommand(view, "&Options", Qt::Key_F7, [this] { document_.OnOptions(); });
  AddCommand(view, "&Clear Screen", QKeySequence(Qt::ALT | Qt::Key_C), [this] {
    document_.OnClearScreen();
  })->setStatusTip("Clear the output display");

  QMenu* board = menuBar()->addMenu("&Board");
  boardSelect_ = AddCommand(board, "Select", QKeySequence(), [this] { document_.OnBoardSelect(); });
  boardReset_ = AddCommand(board, "Reset", QKeySequence(), [this] { document_.OnReset(); });
  boardReset_->setStatusTip("Reset DSP Board");
  boardProperties_ =
      AddCommand(board, "Properties", QKeySequence(), [this] { document_.OnBoardProperties(); });

  for (QMenu* menu : {fileMenu_, go, view, board})
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);

  // Panes 1 to 4 sized for their longest text; pane 0 (messages) stretches.
  const char* sizes[kPanes] = {"", "Paused", "Running", "Page Mode", "Selected link interface"};
  for (int pane = 1; pane < kPanes; ++pane) {
    auto* label = new QLabel(this);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(sizes[pane]) + 12);
    label->setAlignment(Qt::AlignCenter);
    statusBar()->addPermanentWidget(label);
    panes_[static_cast<size_t>(pane)] = label;
    SetPane(pane, "");
  }
  statusBar()->showMessage("Ready");
  UpdateRecentFiles();
  UpdateCommands();
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::AddCommand(QMenu* menu, const QString& text, const QKeySequence& key,
                                std::function<void()> command) {
  QAction* action = menu->addAction(text);
  if (!key.isEmpty()) action->setShortcut(key);
  connect(action, &QAction::triggered, this, [command = std::move(command)] { command(); });
  return action;
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
  recentMenu_->clear();
  int number = 1;
  for (const std::string& path : recentFiles_.Entries()) {
    QAction* action =
        recentMenu_->addAction(QString("&%1 %2").arg(number++, 0, 16).arg(QString::fromStdString(path)));
    action->setStatusTip("Open this document");
    connect(action, &QAction::triggered, this, [this, path] { document_.Select(path); });
  }
  recentMenu_->setEnabled(!recentFiles_.Entries().empty());
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
  LineInputDialog* dialog = new LineInputDialog(this, QString::fromLocal8Bit(title.c_str()), echo);
  inputDialog_ = dialog;
  StandardInputResult result = dialog->Run();
  inputDialog_ = nullptr;
  dialog->deleteLater();
  return result;
}

void CMainFrame::EndStandardInput() {
  if (inputDialog_) inputDialog_->reject();
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
