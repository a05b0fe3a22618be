// "Veltra Server Options": the modal sheet in which the user edits the live
// options record. Controls are filled from the record when the sheet opens;
// the record is written only by OK (and by "Reset to Default Options").
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace veltra {

class OptionsManager;
struct OptionsRecord;

class OptionsSheet final : public QDialog {
  Q_OBJECT

 public:
  OptionsSheet(OptionsManager* manager, QWidget* parent);

 public Q_SLOTS:
  void accept() override;

 private:
  QWidget* BuildGeneral();
  QWidget* BuildStandardIo();
  QWidget* BuildMonitoring();
  QWidget* BuildAdvanced();
  QPushButton* FileButton(const char* name);
  void Fill();
  void ChangeTab(int index);

  // The enabling rules, each applied when its control is clicked.
  void C4xRule();
  void AloneRule();
  void StdinRule(bool fromFile);
  void StdoutFileRule();
  void StderrFileRule();
  void MergeRule();

  void BrowseStdin();
  void BrowseLog(QLineEdit* edit, const char* title);
  void BrowseFileRoot();
  void SignalSemaphore();
  void ResetToDefaults();

  OptionsManager* manager_;
  OptionsRecord* record_;
  QTabWidget* tabs_ = nullptr;

  // General
  QLineEdit* commandLine_ = nullptr;
  QCheckBox* debug_ = nullptr;
  QCheckBox* sayStop_ = nullptr;
  QCheckBox* clearOnStart_ = nullptr;
  QCheckBox* alone_ = nullptr;
  QCheckBox* runOnSelect_ = nullptr;
  QCheckBox* autoRun_ = nullptr;
  QCheckBox* c4x_ = nullptr;
  QLineEdit* rootKernel_ = nullptr;
  // Standard I/O
  QRadioButton* stdinKeyboard_ = nullptr;
  QRadioButton* stdinFile_ = nullptr;
  QLineEdit* stdinName_ = nullptr;
  QPushButton* stdinBrowse_ = nullptr;
  QCheckBox* stdoutScreen_ = nullptr;
  QCheckBox* stdoutFile_ = nullptr;
  QLineEdit* stdoutName_ = nullptr;
  QPushButton* stdoutBrowse_ = nullptr;
  QCheckBox* stdoutAppend_ = nullptr;
  QCheckBox* stderrScreen_ = nullptr;
  QCheckBox* stderrFile_ = nullptr;
  QLineEdit* stderrName_ = nullptr;
  QPushButton* stderrBrowse_ = nullptr;
  QCheckBox* stderrAppend_ = nullptr;
  QCheckBox* stderrMerge_ = nullptr;
  // Monitoring
  QCheckBox* monGeneral_ = nullptr;
  QCheckBox* monLink_ = nullptr;
  QCheckBox* monProt_ = nullptr;
  QCheckBox* monUser_ = nullptr;
  // Advanced
  QLineEdit* resetDelay_ = nullptr;
  QCheckBox* inhibitReset_ = nullptr;
  QCheckBox* multipleInst_ = nullptr;
  QLineEdit* semaphoreNumber_ = nullptr;
  QLineEdit* fileRoot_ = nullptr;
  QPushButton* fileRootBrowse_ = nullptr;
  QCheckBox* allowHostCommands_ = nullptr;
};

}  // namespace veltra
