// The main window around the terminal view: the menus that reach every
// command, the main and host semaphore toolbars, the status panes, dropped
// files, and the GUI side of the document's requests.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <array>
#include <functional>
#include <string>

#include "host/StandardInputDialog.h"
#include "host/UserGuides.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace veltra {

class CHostrixDoc;
class CHostrixView;
class QtUi;
class RecentFileList;

class CMainFrame final : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kPanes = 5;

  CMainFrame(CHostrixDoc& document, RecentFileList& recentFiles, QtUi& ui);
  ~CMainFrame() override;

  CHostrixView* View() const { return view_; }

  void SetPane(int pane, const std::string& text);
  QString PaneText(int pane) const;
  void SetFileMenuEnabled(bool enabled);
  void SetPauseChecked(bool checked);
  void SetPageModeChecked(bool checked);
  void SetTitle(const std::string& title);
  void UpdateRecentFiles();
  void UpdateCommands();
  void RepaintView();
  void GuiRequest(int kind);
  StandardInputResult RunStandardInput(const std::string& title, bool echo);
  // Ends a standard input dialog that is open, as End of File.
  void EndStandardInput();
  StandardInputDialog* InputDialog() const { return inputDialog_; }

  // The actions, for the menus and for tests.
  QAction* RunAction() const { return run_; }
  QAction* StopAction() const { return stop_; }
  QAction* ApplicationAction() const { return application_; }
  QAction* PauseAction() const { return pause_; }
  QAction* PageModeAction() const { return pageMode_; }
  QAction* SemaphoreToolBarAction() const { return semaphoreToggle_; }
  QMenu* FileMenu() const { return fileMenu_; }
  QToolBar* MainToolBar() const { return toolBar_; }
  QToolBar* SemaphoreToolBar() const { return semaphoreBar_; }
  QLabel* Pane(int pane) const { return panes_[static_cast<size_t>(pane)]; }
  bool SemaphoreToolBarShown() const { return semaphoreBarShown_ != 0; }

  // The View menu's Host Semaphore Toolbar command.
  void OnToggleSemaphoreToolBar();
  // Files dropped on the window: one is opened as the application, more
  // are refused.
  void DropFiles(const QStringList& paths);

  // The Help menu's Veltra Help (F1): the user guide of the board, or the
  // choice among several.
  void OnUserGuides();
  // The Help menu's Contact: a new mail to the support address.
  void OnContact();

  // Brings the window forward, restoring it when minimised.
  void BringToFront();

 Q_SIGNALS:
  // After the window closed and the document stopped waiting for anything.
  void Closed();
  void NewInstanceRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The prompt is "status bar text\ntooltip" (the tooltip part may be absent).
  QAction* AddCommand(QMenu* menu, const QString& text, const QKeySequence& key, const QString& prompt,
                      std::function<void()> command);
  void CreateToolBars();
  void ShowAbout();
  void SaveWindowPlace();

  CHostrixDoc& document_;
  RecentFileList& recentFiles_;
  QtUi& ui_;
  CHostrixView* view_;
  std::array<QLabel*, kPanes> panes_{};
  QMenu* fileMenu_ = nullptr;
  QAction* application_ = nullptr;
  QAction* run_ = nullptr;
  QAction* stop_ = nullptr;
  QAction* pause_ = nullptr;
  QAction* pageMode_ = nullptr;
  QAction* reconnect_ = nullptr;
  QAction* boardSelect_ = nullptr;
  QAction* boardReset_ = nullptr;
  QAction* boardProperties_ = nullptr;
  QAction* clearScreen_ = nullptr;
  QAction* about_ = nullptr;
  QAction* toolBarToggle_ = nullptr;
  QAction* statusBarToggle_ = nullptr;
  QAction* semaphoreToggle_ = nullptr;
  QAction* recentEnd_ = nullptr;
  QList<QAction*> recentActions_;
  QToolBar* toolBar_ = nullptr;
  QToolBar* semaphoreBar_ = nullptr;
  uint8_t semaphoreBarShown_ = 0;
  QPointer<StandardInputDialog> inputDialog_;
  UserGuides userGuides_;
  bool closed_ = false;
};

}  // namespace veltra
