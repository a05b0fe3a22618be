// The link manager: the installed link interface libraries, the boards each
// reports, the user's choice of one board and the Link opened to it.
// All of it runs on the GUI thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "linkmgr/InterfaceEntry.h"
#include "platform/DynamicLibrary.h"
#include "veltra/LinkManager.h"

namespace veltra {

class LinkManagerImpl final : public LinkManager {
 public:
  LinkManagerImpl() = default;
  ~LinkManagerImpl() override;
  LinkManagerImpl(const LinkManagerImpl&) = delete;
  LinkManagerImpl& operator=(const LinkManagerImpl&) = delete;

  Link* CurrentLink() override;
  void SelectInterface(WindowHandle owner) override;
  Link* OpenLinkByName(const char* name, int index) override;
  bool AddInterface(const char* path) override;
  int BeginInterfaces() override;
  const char* NextInterfaceName() override;
  InterfaceEntry* CurrentInterface() override;
  void SetCurrentInterface(InterfaceEntry* entry) override;
  int BeginBoards() override;
  int CurrentBoardId() override;
  const char* NextBoardName() override;
  BoardEntry* CurrentBoard() override;
  void SelectBoard(BoardEntry* board) override;
  void InterfaceName(char* buffer) override;
  void RemoveInterface(InterfaceEntry* entry) override;
  void Initialise(WindowHandle owner) override;

  // Built in, registered at every start when they can be loaded. The
  // simulator comes last, so that hardware reporting boards is chosen first.
  static const std::vector<std::string>& DefaultInterfaces();

 private:
  // Registers (or, without add, unregisters) a path in "Link_Interfaces";
  // false when the list would grow beyond its limit. Where the store could
  // not be read the stored list is left as it is.
  bool RegisterPath(const std::string& path, bool add);
  // Loads an interface library and makes its entry, not yet listed: false
  // when it does not load or has no GetInfo (said to the user); true with no
  // entry when GetInfo gives none. A library that loads stays until the
  // manager goes.
  bool LoadEntry(const std::string& path, std::unique_ptr<InterfaceEntry>& entry);
  // AddInterface, without loading the rest first.
  bool Add(const std::string& path);
  // A start with a saved choice loads only the chosen library: true when it
  // is there with the saved board, which is then the choice. The other
  // libraries wait until something needs the whole list (LoadRest).
  bool RestoreAhead(const std::string& library, int index);
  // Registers the built-in libraries that load and lists every registered one.
  void LoadAll();
  // Lists the libraries that RestoreAhead left for later, keeping the choice.
  void LoadRest();
  // SelectBoard, storing the choice only with store: a choice made because
  // the saved one could not be read must not replace it.
  void Choose(BoardEntry* board, bool store);
  bool Contains(const InterfaceEntry* entry) const;
  bool Contains(const BoardEntry* board) const;
  Link* OpenBoard(const BoardEntry& board);
  void ReportDriverError(const QMXExc& error);

  std::unique_ptr<InterfaceEntry> interfaces_;
  int interfaceCount_ = 0;
  WindowHandle owner_ = nullptr;
  InterfaceEntry* interfaceCursor_ = nullptr;
  InterfaceEntry* currentInterface_ = nullptr;
  BoardEntry* boardCursor_ = nullptr;
  BoardEntry* selectedBoard_ = nullptr;
  Link* link_ = nullptr;  // belongs to the interface library
  std::vector<DynamicLibrary> libraries_;
  bool restPending_ = false;  // only the chosen library is listed so far
  // What RestoreAhead loaded for earlyPath_, until the list takes it.
  bool haveEarly_ = false;
  bool earlyLoaded_ = false;
  std::string earlyPath_;
  std::unique_ptr<InterfaceEntry> early_;
};

}  // namespace veltra
