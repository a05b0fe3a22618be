// The main window around the terminal view: the menus that reach every
// command, the status panes, and the GUI side of the document's requests.
// (Toolbars and drag and drop come with the full frame.)
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <string>

#include "host/LineInputDialog.h"

class QAction;
class QLabel;
class QMenu;

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
  LineInputDialog* InputDialog() const { return inputDialog_; }

  // The actions, for the menus and for tests.
  QAction* RunAction() const { return run_; }
  QAction* StopAction() const { return stop_; }
  QAction* ApplicationAction() const { return application_; }
  QMenu* FileMenu() const { return fileMenu_; }

  // Brings the window forward, restoring it when minimised.
  void BringToFront();

 Q_SIGNALS:
  // After the window closed and the document stopped waiting for anything.
  void Closed();
  void NewInstanceRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QAction* AddCommand(QMenu* menu, const QString& text, const QKeySequence& key,
                      std::function<void()> command);
  void SaveWindowPlace();

  CHostrixDoc& document_;
  RecentFileList& recentFiles_;
  QtUi& ui_;
  CHostrixView* view_;
  std::array<QLabel*, kPanes> panes_{};
  QMenu* fileMenu_ = nullptr;
  QMenu* recentMenu_ = nullptr;
  QAction* application_ = nullptr;
  QAction* run_ = nullptr;
  QAction* stop_ = nullptr;
  QAction* pause_ = nullptr;
  QAction* pageMode_ = nullptr;
  QAction* reconnect_ = nullptr;
  QAction* boardSelect_ = nullptr;
  QAction* boardReset_ = nullptr;
  QAction* boardProperties_ = nullptr;
  QPointer<LineInputDialog> inputDialog_;
  bool closed_ = false;
};

}  // namespace veltra
