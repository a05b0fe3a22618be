#include "plugins/panel/PanelServices.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QSlider>
#include <array>
#include <cstdio>
#include <utility>

#include "platform/Ui.h"
#include "plugins/panel/BigText.h"
#include "plugins/panel/InputPanel.h"
#include "plugins/panel/MainPanel.h"
#include "plugins/panel/ModulePanel.h"
#include "plugins/common/WindowThread.h"
#include "plugins/panel/PanelKey.h"
#include "plugins/panel/StatusPanel.h"
#include "veltra/RequestChannel.h"

namespace veltra {
namespace {

// A text as the services use it: at most kTextSize bytes are kept, and it
// ends at its first zero or where the kept bytes end, whichever comes first,
// so a text without its zero or longer than the buffer is cut, never overrun.
std::string ReadText(RequestChannel& channel) {
  std::array<char, PanelServices::kTextSize + 1> text{};
  const uint32_t count = channel.ReadBytesBounded(text.data(), PanelServices::kTextSize);
  text[std::min<uint32_t>(count, PanelServices::kTextSize)] = '\0';
  return std::string(text.data());
}

void ProcessWaiting() {
  QCoreApplication::processEvents();
}

}  // namespace

PanelServices::PanelServices(std::string branch, Numbering numbering)
    : branch_(std::move(branch)), numbering_(numbering) {}

bool PanelServices::Serve(int service, RequestChannel& channel, int& result) {
  static constexpr std::array<Handler, 9> kStandalone = {
      &PanelServices::OpenStatus, &PanelServices::ShowStatus, &PanelServices::OpenInput,
      &PanelServices::ReadInput,  &PanelServices::CloseInput, &PanelServices::OpenPanel,
      &PanelServices::ReadPanel,  &PanelServices::ClosePanel, &PanelServices::AskYesNo};
  static constexpr std::array<Handler, 11> kCombined = {
      &PanelServices::OpenStatus,      &PanelServices::ShowStatus, &PanelServices::OpenInput,
      &PanelServices::ReadInput,       &PanelServices::CloseInput, &PanelServices::OpenPanel,
      &PanelServices::ReadPanel,       &PanelServices::ClosePanel, &PanelServices::OpenModulePanel,
      &PanelServices::ReadModulePanel, &PanelServices::AskYesNo};
  Handler handler = nullptr;
  if (numbering_ == Numbering::Standalone && service >= 1 && service <= 9) handler = kStandalone[service - 1];
  if (numbering_ == Numbering::Combined && service >= 11 && service <= 21) handler = kCombined[service - 11];
  if (!handler) return false;
  result = (this->*handler)(channel);
  return true;
}

int PanelServices::OpenStatus(RequestChannel&) {
  WindowThread::Run([this] {
    status_ = new StatusPanel(branch_);
    status_->show();
  });
  return 0;
}

int PanelServices::ShowStatus(RequestChannel& channel) {
  const std::string text = ReadText(channel);
  bool shown = false, changed = false;
  if (!status_) return 1;
  WindowThread::Run([&] {
    if (!status_->IsOpen() || status_->Terminated()) return;
    const QString shownText = QString::fromLocal8Bit(text.c_str());
    changed = status_->Display()->Text() != shownText;
    status_->ShowText(shownText);
    shown = true;
  });
  if (!shown) return 1;
  // Without a display nobody sees the window: the log does, once per text
  // (an application that polls for "Terminate" sends the same one again).
  if (WindowThread::Headless() && changed) std::fprintf(stderr, "status: %s\n", text.c_str());
  return 0;
}

int PanelServices::OpenInput(RequestChannel&) {
  WindowThread::Run([this] {
    input_ = new InputPanel(branch_);
    input_->show();
  });
  return 0;
}

int PanelServices::ReadInput(RequestChannel& channel) {
  if (!input_) return 0;
  bool open = false;
  int frequency = 0, amplitude = 0;
  WindowThread::Run([&] {
    open = input_->IsOpen();
    frequency = input_->FrequencySlider()->value();
    amplitude = input_->AmplitudeSlider()->value();
  });
  if (!open) return 0;
  channel.WriteWord(frequency);
  return amplitude;
}

int PanelServices::CloseInput(RequestChannel&) {
  if (!input_) return 0;
  WindowThread::Run([this] {
    input_->close();
    ProcessWaiting();
  });
  return 0;
}

int PanelServices::OpenPanel(RequestChannel&) {
  WindowThread::Run([this] {
    panel_ = new MainPanel(branch_);
    panel_->show();
  });
  return 0;
}

int PanelServices::ReadPanel(RequestChannel& channel) {
  PanelSettings settings;
  if (panel_) {
    WindowThread::Run([&] {
      ProcessWaiting();
      settings = panel_->TakeSettings();
    });
  } else {
    // Never opened: what the panel would open with, without a window, so an
    // application that reads first still gets the user's last settings.
    PanelKey key(branch_, "Ctrl5610");
    settings = MainPanelState::Load(key).block;
  }
  const auto block = settings.Block();
  channel.WriteBytes(static_cast<uint32_t>(block.size()), block.data());
  return 0;
}

int PanelServices::ClosePanel(RequestChannel&) {
  if (!panel_) return 0;
  WindowThread::Run([this] {
    panel_->close();
    ProcessWaiting();
  });
  return 0;
}

int PanelServices::OpenModulePanel(RequestChannel&) {
  WindowThread::Run([this] {
    module_ = new ModulePanel(branch_);
    module_->setVisible(true);
  });
  return 0;
}

int PanelServices::ReadModulePanel(RequestChannel& channel) {
  if (!module_) return 0;
  std::array<int32_t, 4> words{};
  bool closed = false;
  WindowThread::Run([&] {
    words = {PanelRules::ModuleFrequency(module_->FrequencySlider()->value()),
             module_->TriggerISlider()->value(), module_->TriggerQSlider()->value(),
             module_->SplitCheck()->isChecked() ? 1 : 0};
    closed = !module_->IsOpen();
  });
  for (int32_t word : words) channel.WriteWord(word);
  return closed ? 1 : 0;
}

int PanelServices::AskYesNo(RequestChannel& channel) {
  const std::string caption = ReadText(channel);
  const std::string question = ReadText(channel);
  // A box of no window; without a display the console answers it.
  const MessageResult answer = Ui::MessageBox(nullptr, question, caption, MessageIcon::Question,
                                              MessageButtons::YesNo, MessageResult::No);
  return answer == MessageResult::Yes ? 1 : 0;
}

}  // namespace veltra
