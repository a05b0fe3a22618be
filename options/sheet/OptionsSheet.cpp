#include "options/sheet/OptionsSheet.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/Ui.h"
#include "veltra/OptionsManager.h"
#include "veltra/OptionsRecord.h"
#include "veltra/RequestChannel.h"

namespace veltra {

namespace {

constexpr int kPathLimit = kPathSize - 1;  // the field keeps its terminating zero
constexpr int kDelayLimitMs = 60000;
constexpr int kDelayDigits = 9;
// The tab shown last, shown again at the next opening for the life of the process.
int rememberedTab = 0;

WindowHandle Handle(QWidget* widget) {
  return reinterpret_cast<WindowHandle>(widget);
}

QString FromField(const char* field, size_t size) {
  return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, size)));
}

// Copies an edit's text into a fixed field, cut to limit bytes without
// splitting a character.
void ToField(const QString& text, char* field, size_t limit) {
  QByteArray bytes = text.toUtf8();
  size_t length = static_cast<size_t>(bytes.size());
  if (length > limit) {
    length = limit;
    while (length > 0 && (static_cast<unsigned char>(bytes[static_cast<qsizetype>(length)]) & 0xC0) == 0x80)
      --length;
  }
  std::memcpy(field, bytes.constData(), length);
  field[length] = '\0';
}

// Reads up to `characters` characters as a decimal number, as the C library
// does: leading blanks, a sign, then digits up to the first other character.
// Reports whether there was a number at all; a value beyond the range of an
// int is held at its end.
bool ReadDecimal(const QString& text, int characters, long long& value) {
  QString head = text.left(characters).trimmed();
  qsizetype at = 0;
  bool negative = false;
  if (at < head.size() && (head[at] == '-' || head[at] == '+')) negative = head[at++] == '-';
  long long number = 0;
  bool digits = false;
  for (; at < head.size() && head[at].isDigit() && head[at].unicode() < 128; ++at) {
    digits = true;
    number = number * 10 + (head[at].unicode() - '0');
    if (number > INT_MAX) number = INT_MAX + 1LL;
  }
  value = negative ? -number : number;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return digits;
}

// The semaphore number from its edit: a value outside 0..9, or none, puts
// "0" into the edit and counts as 0.
int SemaphoreFrom(QLineEdit* edit, int characters) {
  long long value = 0;
  if (!ReadDecimal(edit->text(), characters, value) || value < 0 || value > 9) {
    edit->setText("0");
    return 0;
  }
  return static_cast<int>(value);
}

QCheckBox* Check(const QString& text, const char* name) {
  auto* box = new QCheckBox(text);
  box->setObjectName(name);
  return box;
}

QLineEdit* Edit(int limit, const char* name) {
  auto* edit = new QLineEdit;
  edit->setMaxLength(limit);
  edit->setObjectName(name);
  return edit;
}

QLabel* Note(const QString& text) {
  auto* label = new QLabel(text);
  label->setWordWrap(true);
  return label;
}

}  // namespace

OptionsSheet::OptionsSheet(OptionsManager* manager, QWidget* parent)
    : QDialog(parent), manager_(manager), record_(manager->GetOptions()) {
  setWindowTitle("Veltra Server Options");
  setObjectName("optionsSheet");

  tabs_ = new QTabWidget;
  tabs_->setObjectName("tabs");
  tabs_->addTab(BuildGeneral(), "General");
  tabs_->addTab(BuildStandardIo(), "Standard I/O");
  tabs_->addTab(BuildMonitoring(), "Monitoring");
  tabs_->addTab(BuildAdvanced(), "Advanced");

  auto* ok = new QPushButton("OK");
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel");
  cancel->setObjectName("cancel");
  auto* reset = new QPushButton("Reset to Default Options");
  reset->setObjectName("resetDefaults");
  connect(ok, &QPushButton::clicked, this, &OptionsSheet::accept);
  connect(cancel, &QPushButton::clicked, this, &OptionsSheet::reject);
  connect(reset, &QPushButton::clicked, this, &OptionsSheet::ResetToDefaults);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addWidget(reset);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addLayout(buttons);

  // 414 x 217 dialog units: a quarter of the average character width across,
  // an eighth of the character height down.
  QFontMetrics metrics(font());
  setMinimumSize(414 * metrics.averageCharWidth() / 4, 217 * metrics.height() / 8);

  Fill();
  tabs_->setCurrentIndex(rememberedTab);
  connect(tabs_, &QTabWidget::currentChanged, this, &OptionsSheet::ChangeTab);
  ChangeTab(rememberedTab);
}

QPushButton* OptionsSheet::FileButton(const char* name) {
  auto* button = new QPushButton("...");
  button->setObjectName(name);
  button->setAutoDefault(false);
  QFontMetrics metrics(button->font());
  button->setFixedWidth(metrics.horizontalAdvance("...") + 4 * metrics.averageCharWidth());
  return button;
}

QWidget* OptionsSheet::BuildGeneral() {
  auto* page = new QWidget;
  auto* layout = new QGridLayout(page);
  layout->addWidget(new QLabel("Command line (sets argv[1], argv[2], ...)"), 0, 0, 1, 2);
  commandLine_ = Edit(kCommandLineLimit, "commandLine");
  layout->addWidget(commandLine_, 1, 0, 1, 2);
  debug_ = Check("Debug application (pause after loading)", "debug");
  sayStop_ = Check("Report application termination", "sayStop");
  clearOnStart_ = Check("Clear screen on run", "clearOnStart");
  alone_ = Check("Standalone application (does not communicate with server)", "alone");
  runOnSelect_ = Check("Run application when selected from file menu", "runOnSelect");
  autoRun_ = Check("Run .app files when double-clicked (or when started from DOS)", "autoRun");
  c4x_ = Check("C4x application", "c4x");
  int row = 2;
  for (QCheckBox* box : {debug_, sayStop_, clearOnStart_, alone_, runOnSelect_, autoRun_})
    layout->addWidget(box, row++, 0, 1, 2);
  layout->addWidget(c4x_, row, 0);
  auto* kernel = new QHBoxLayout;
  kernel->addWidget(new QLabel("Root Kernel"));
  rootKernel_ = Edit(kPathLimit, "rootKernel");
  kernel->addWidget(rootKernel_);
  layout->addLayout(kernel, row++, 1);
  layout->setRowStretch(row, 1);
  connect(c4x_, &QCheckBox::clicked, this, &OptionsSheet::C4xRule);
  connect(alone_, &QCheckBox::clicked, this, &OptionsSheet::AloneRule);
  return page;
}

QWidget* OptionsSheet::BuildStandardIo() {
  auto* page = new QWidget;
  auto* layout = new QHBoxLayout(page);

  auto* stdinGroup = new QGroupBox("Stdin");
  auto* in = new QGridLayout(stdinGroup);
  stdinKeyboard_ = new QRadioButton("Keyboard");
  stdinKeyboard_->setObjectName("stdinKeyboard");
  stdinFile_ = new QRadioButton("File");
  stdinFile_->setObjectName("stdinFile");
  stdinName_ = Edit(kPathLimit, "stdinName");
  stdinBrowse_ = FileButton("stdinBrowse");
  in->addWidget(stdinKeyboard_, 0, 0, 1, 2);
  in->addWidget(stdinFile_, 1, 0, 1, 2);
  in->addWidget(stdinName_, 2, 0);
  in->addWidget(stdinBrowse_, 2, 1);
  in->setRowStretch(3, 1);

  auto* stdoutGroup = new QGroupBox("Stdout");
  auto* out = new QGridLayout(stdoutGroup);
  stdoutScreen_ = Check("Screen", "stdoutScreen");
  stdoutFile_ = Check("File", "stdoutFile");
  stdoutName_ = Edit(kPathLimit, "stdoutName");
  stdoutBrowse_ = FileButton("stdoutBrowse");
  stdoutAppend_ = Check("Append", "stdoutAppend");
  out->addWidget(stdoutScreen_, 0, 0, 1, 2);
  out->addWidget(stdoutFile_, 1, 0, 1, 2);
  out->addWidget(stdoutName_, 2, 0);
  out->addWidget(stdoutBrowse_, 2, 1);
  out->addWidget(stdoutAppend_, 3, 0, 1, 2);
  out->setRowStretch(4, 1);

  auto* stderrGroup = new QGroupBox("Stderr");
  auto* err = new QGridLayout(stderrGroup);
  stderrScreen_ = Check("Screen", "stderrScreen");
  stderrFile_ = Check("File", "stderrFile");
  stderrName_ = Edit(kPathLimit, "stderrName");
  stderrBrowse_ = FileButton("stderrBrowse");
  stderrAppend_ = Check("Append", "stderrAppend");
  stderrMerge_ = Check("Stdout", "stderrMerge");
  err->addWidget(stderrScreen_, 0, 0, 1, 2);
  err->addWidget(stderrFile_, 1, 0, 1, 2);
  err->addWidget(stderrName_, 2, 0);
  err->addWidget(stderrBrowse_, 2, 1);
  err->addWidget(stderrAppend_, 3, 0, 1, 2);
  err->addWidget(stderrMerge_, 4, 0, 1, 2);
  err->setRowStretch(5, 1);

  layout->addWidget(stdinGroup);
  layout->addWidget(stdoutGroup);
  layout->addWidget(stderrGroup);

  connect(stdinKeyboard_, &QRadioButton::clicked, this, [this] { StdinRule(false); });
  connect(stdinFile_, &QRadioButton::clicked, this, [this] { StdinRule(true); });
  connect(stdoutFile_, &QCheckBox::clicked, this, [this] {
    StdoutFileRule();
    if (stdoutFile_->isChecked()) stdoutName_->setFocus();
  });
  connect(stderrFile_, &QCheckBox::clicked, this, [this] {
    StderrFileRule();
    if (stderrFile_->isChecked()) stderrName_->setFocus();
  });
  connect(stderrMerge_, &QCheckBox::clicked, this, &OptionsSheet::MergeRule);
  connect(stdinBrowse_, &QPushButton::clicked, this, &OptionsSheet::BrowseStdin);
  connect(stdoutBrowse_, &QPushButton::clicked, this,
          [this] { BrowseLog(stdoutName_, "Log file for stdout"); });
  connect(stderrBrowse_, &QPushButton::clicked, this,
          [this] { BrowseLog(stderrName_, "Log file for stderr"); });
  return page;
}

QWidget* OptionsSheet::BuildMonitoring() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* link = new QGroupBox;
  auto* linkLayout = new QVBoxLayout(link);
  monGeneral_ = Check("General Monitoring", "monGeneral");
  monLink_ = Check("Link Monitoring", "monLink");
  monProt_ = Check("Protocol Monitoring", "monProt");
  linkLayout->addWidget(monGeneral_);
  linkLayout->addWidget(monLink_);
  linkLayout->addWidget(monProt_);
  linkLayout->addWidget(
      Note("These options control diagnostic output that gives information about data being sent across the "
           "link to the host. They are usually only of interest when debugging obscure server problems."));
  auto* user = new QGroupBox;
  auto* userLayout = new QVBoxLayout(user);
  monUser_ = Check("User Monitoring", "monUser");
  userLayout->addWidget(monUser_);
  userLayout->addWidget(
      Note("User monitoring is provided to assist debugging user-defined service clusters."));
  layout->addWidget(link);
  layout->addWidget(user);
  layout->addStretch();
  return page;
}

QWidget* OptionsSheet::BuildAdvanced() {
  auto* page = new QWidget;
  auto* layout = new QGridLayout(page);
  resetDelay_ = Edit(kDelayDigits, "resetDelay");
  resetDelay_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), resetDelay_));
  QFontMetrics metrics(resetDelay_->font());
  resetDelay_->setFixedWidth(metrics.horizontalAdvance("000000000") + 3 * metrics.averageCharWidth());
  auto* delay = new QHBoxLayout;
  delay->addWidget(resetDelay_);
  delay->addWidget(new QLabel("ms extra delay after reset"));
  delay->addStretch();
  layout->addLayout(delay, 0, 0, 1, 3);
  inhibitReset_ = Check("Do not issue a reset before running an application.", "inhibitReset");
  multipleInst_ = Check("Allow multiple instances of the server.", "multipleInst");
  layout->addWidget(inhibitReset_, 1, 0, 1, 3);
  layout->addWidget(multipleInst_, 2, 0, 1, 3);
  auto* signal = new QPushButton("Signal Host Semaphore");
  signal->setObjectName("signalSemaphore");
  signal->setAutoDefault(false);
  semaphoreNumber_ = Edit(1, "semaphoreNumber");
  semaphoreNumber_->setFixedWidth(metrics.horizontalAdvance("0") + 3 * metrics.averageCharWidth());
  auto* semaphore = new QHBoxLayout;
  semaphore->addWidget(signal);
  semaphore->addWidget(semaphoreNumber_);
  semaphore->addStretch();
  layout->addLayout(semaphore, 3, 0, 1, 3);

  // The confinement of the application's host files and commands.
  layout->addWidget(new QLabel("Directory the application's files are confined to (empty: no confinement)"),
                    4, 0, 1, 3);
  fileRoot_ = Edit(kPathLimit, "fileRoot");
  fileRootBrowse_ = FileButton("fileRootBrowse");
  layout->addWidget(fileRoot_, 5, 0, 1, 2);
  layout->addWidget(fileRootBrowse_, 5, 2);
  allowHostCommands_ = Check("Allow the application to run host commands", "allowHostCommands");
  layout->addWidget(allowHostCommands_, 6, 0, 1, 3);
  layout->setRowStretch(7, 1);
  layout->setColumnStretch(0, 1);

  connect(signal, &QPushButton::clicked, this, &OptionsSheet::SignalSemaphore);
  connect(fileRootBrowse_, &QPushButton::clicked, this, &OptionsSheet::BrowseFileRoot);
  return page;
}

void OptionsSheet::Fill() {
  const OptionsRecord& r = *record_;
  commandLine_->setText(FromField(r.CommandLine, sizeof r.CommandLine));
  debug_->setChecked(r.Debug);
  sayStop_->setChecked(r.SayStop);
  clearOnStart_->setChecked(r.ClearOnStart);
  alone_->setChecked(r.Alone);
  runOnSelect_->setChecked(r.RunOnSelect);
  autoRun_->setChecked(r.AutoRun);
  c4x_->setChecked(r.C4x);
  rootKernel_->setText(r.RootKernel[0] ? FromField(r.RootKernel, sizeof r.RootKernel) : QString("TIM40.KRN"));

  stdinKeyboard_->setChecked(r.StdIn.Log);
  stdinFile_->setChecked(!r.StdIn.Log);
  stdinName_->setText(FromField(r.StdIn.Filename, sizeof r.StdIn.Filename));
  stdoutScreen_->setChecked(r.StdOut.Log);
  stdoutFile_->setChecked(r.StdOut.File);
  stdoutName_->setText(FromField(r.StdOut.Filename, sizeof r.StdOut.Filename));
  stdoutAppend_->setChecked(r.StdOut.Append);
  stderrScreen_->setChecked(r.StdErr.Log);
  stderrFile_->setChecked(r.StdErr.File);
  stderrName_->setText(FromField(r.StdErr.Filename, sizeof r.StdErr.Filename));
  stderrAppend_->setChecked(r.StdErr.Append);
  stderrMerge_->setChecked(r.StdErr.Merge);

  monGeneral_->setChecked(r.MonGeneral);
  monLink_->setChecked(r.MonLink);
  monProt_->setChecked(r.MonProt);
  monUser_->setChecked(r.MonUser);

  // A stored delay longer than the edit takes is shown whole, so that OK
  // does not cut it to another number.
  QString delay = QString::number(r.ResetDelay);
  resetDelay_->setMaxLength(std::max(kDelayDigits, static_cast<int>(delay.size())));
  resetDelay_->setText(delay);
  inhibitReset_->setChecked(r.InhibitReset);
  multipleInst_->setChecked(r.MultipleInst);
  semaphoreNumber_->setText(QString::number(r.SemaphoreNumber));
  fileRoot_->setText(FromField(r.FileRoot, sizeof r.FileRoot));
  allowHostCommands_->setChecked(r.AllowHostCommands);

  C4xRule();
  AloneRule();
  stdinName_->setEnabled(!r.StdIn.Log);
  stdinBrowse_->setEnabled(!r.StdIn.Log);
  MergeRule();
  StderrFileRule();
  StdoutFileRule();
}

void OptionsSheet::ChangeTab(int index) {
  rememberedTab = index;
  QWidget* focus[] = {commandLine_, stdoutName_, monProt_, resetDelay_};
  if (index >= 0 && index < 4) focus[index]->setFocus();
}

void OptionsSheet::C4xRule() {
  rootKernel_->setEnabled(c4x_->isChecked());
}

void OptionsSheet::AloneRule() {
  bool serve = !alone_->isChecked();
  debug_->setEnabled(serve);
  commandLine_->setEnabled(serve);
  sayStop_->setEnabled(serve);
}

void OptionsSheet::StdinRule(bool fromFile) {
  stdinName_->setEnabled(fromFile);
  stdinBrowse_->setEnabled(fromFile);
  if (fromFile) stdinName_->setFocus();
}

void OptionsSheet::StdoutFileRule() {
  bool file = stdoutFile_->isChecked();
  stdoutName_->setEnabled(file);
  stdoutBrowse_->setEnabled(file);
  stdoutAppend_->setEnabled(file);
}

void OptionsSheet::StderrFileRule() {
  bool file = stderrFile_->isChecked();
  stderrName_->setEnabled(file);
  stderrBrowse_->setEnabled(file);
  stderrAppend_->setEnabled(file);
}

void OptionsSheet::MergeRule() {
  bool own = !stderrMerge_->isChecked();
  stderrScreen_->setEnabled(own);
  stderrFile_->setEnabled(own);
  stderrName_->setEnabled(own && stderrFile_->isChecked());
  stderrBrowse_->setEnabled(own && stderrFile_->isChecked());
}

void OptionsSheet::BrowseStdin() {
  QFileDialog dialog(this, "Data file for stdin", stdinName_->text());
  dialog.setObjectName("stdinDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({"text input files (.txt) (*.txt)", "All Files (*.*) (*)"});
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setDefaultSuffix("txt");
  if (!stdinName_->text().isEmpty()) dialog.selectFile(stdinName_->text());
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    stdinName_->setText(dialog.selectedFiles().front());
}

void OptionsSheet::BrowseLog(QLineEdit* edit, const char* title) {
  QFileDialog dialog(this, title, edit->text());
  dialog.setObjectName(edit == stdoutName_ ? "stdoutDialog" : "stderrDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({"text log files (.log) (*.log)", "All Files (*.*) (*)"});
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setDefaultSuffix("log");
  if (!edit->text().isEmpty()) dialog.selectFile(edit->text());
  // Qt's save dialog confirms overwriting by itself.
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    edit->setText(dialog.selectedFiles().front());
}

void OptionsSheet::BrowseFileRoot() {
  QFileDialog dialog(this, "Directory for the application's files", fileRoot_->text());
  dialog.setObjectName("fileRootDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    fileRoot_->setText(dialog.selectedFiles().front());
}

void OptionsSheet::SignalSemaphore() {
  int number = SemaphoreFrom(semaphoreNumber_, 5);
  // Without a running server there is nobody to signal.
  if (RequestChannel* target = record_->SemaphoreTarget) target->SignalSemaphore(number);
}

void OptionsSheet::ResetToDefaults() {
  MessageResult answer =
      Ui::MessageBox(Handle(this), "Do you want to reset all your options to their default values?",
                     "Reset Options", MessageIcon::Warning, MessageButtons::YesNo, MessageResult::No);
  if (answer != MessageResult::Yes) return;
  manager_->ResetOptions();
  Fill();
}

void OptionsSheet::accept() {
  OptionsRecord& r = *record_;
  // The delay is settled first, so that the question comes before the live
  // record is touched. "No" keeps the delay the record had.
  long long delay = 0;
  ReadDecimal(resetDelay_->text(), 12, delay);
  if (delay < 0) delay = 0;
  if (delay > kDelayLimitMs &&
      Ui::MessageBox(Handle(this), "Do you really want a delay longer than 1 minute?", "Bizarre reset delay",
                     MessageIcon::Question, MessageButtons::YesNo, MessageResult::No) != MessageResult::Yes) {
    delay = r.ResetDelay;
    resetDelay_->setText(QString::number(delay));
  }

  r.Debug = debug_->isChecked();
  r.SayStop = sayStop_->isChecked();
  r.ClearOnStart = clearOnStart_->isChecked();
  r.Alone = alone_->isChecked();
  r.RunOnSelect = runOnSelect_->isChecked();
  r.AutoRun = autoRun_->isChecked();
  r.C4x = c4x_->isChecked();
  r.StdIn.Log = stdinKeyboard_->isChecked();
  r.StdOut.Log = stdoutScreen_->isChecked();
  r.StdOut.File = stdoutFile_->isChecked();
  r.StdOut.Append = stdoutAppend_->isChecked();
  r.StdErr.Log = stderrScreen_->isChecked();
  r.StdErr.File = stderrFile_->isChecked();
  r.StdErr.Append = stderrAppend_->isChecked();
  r.StdErr.Merge = stderrMerge_->isChecked();
  r.MonGeneral = monGeneral_->isChecked();
  r.MonLink = monLink_->isChecked();
  r.MonProt = monProt_->isChecked();
  r.MonUser = monUser_->isChecked();
  ToField(stdinName_->text(), r.StdIn.Filename, kPathLimit);
  ToField(stdoutName_->text(), r.StdOut.Filename, kPathLimit);
  ToField(stderrName_->text(), r.StdErr.Filename, kPathLimit);
  ToField(rootKernel_->text(), r.RootKernel, kPathLimit);
  ToField(commandLine_->text(), r.CommandLine, kCommandLineLimit);

  // A redirection to no file is none.
  if (!r.StdIn.Log && !r.StdIn.Filename[0]) r.StdIn.Log = 1;
  for (StreamOptions* stream : {&r.StdOut, &r.StdErr}) {
    if (stream->File && !stream->Filename[0]) {
      stream->File = 0;
      stream->Log = 1;
    }
    if (!stream->File && !stream->Log) stream->Log = 1;
  }

  r.ResetDelay = static_cast<int32_t>(delay);
  r.InhibitReset = inhibitReset_->isChecked();
  r.MultipleInst = multipleInst_->isChecked();
  r.SemaphoreNumber = SemaphoreFrom(semaphoreNumber_, 12);
  ToField(fileRoot_->text(), r.FileRoot, kPathLimit);
  r.AllowHostCommands = allowHostCommands_->isChecked();
  QDialog::accept();
}

}  // namespace veltra
