// The control-panel services, for both libraries that serve them: the
// control-panel cluster (services 1 to 9) and the combined plug-in (11 to 21,
// with the QMX5720 window's two services). One object per run: its window
// references start empty, and a window an earlier run left open is no longer
// reached. The windows themselves are never deleted.
#pragma once

#include <string>

namespace veltra {

class RequestChannel;
class InputPanel;
class MainPanel;
class ModulePanel;
class StatusPanel;

class PanelServices {
 public:
  enum class Numbering {
    Standalone,  // 1 to 9
    Combined,    // 11 to 21
  };
  // Texts are used up to their zero and never beyond this many bytes.
  static constexpr unsigned kTextSize = 128;

  // branch: the settings branch, "Plexa_310" or "Plexa_300".
  PanelServices(std::string branch, Numbering numbering);

  // Serves service of the numbering through channel. False, with nothing
  // read, when the number is not a panel service of this numbering.
  bool Serve(int service, RequestChannel& channel, int& result);

  int OpenStatus(RequestChannel& channel);
  int ShowStatus(RequestChannel& channel);
  int OpenInput(RequestChannel& channel);
  int ReadInput(RequestChannel& channel);
  int CloseInput(RequestChannel& channel);
  int OpenPanel(RequestChannel& channel);
  int ReadPanel(RequestChannel& channel);
  int ClosePanel(RequestChannel& channel);
  int OpenModulePanel(RequestChannel& channel);
  int ReadModulePanel(RequestChannel& channel);
  int AskYesNo(RequestChannel& channel);

 private:
  using Handler = int (PanelServices::*)(RequestChannel&);

  std::string branch_;
  Numbering numbering_;
  StatusPanel* status_ = nullptr;
  InputPanel* input_ = nullptr;
  MainPanel* panel_ = nullptr;
  ModulePanel* module_ = nullptr;
};

}  // namespace veltra
