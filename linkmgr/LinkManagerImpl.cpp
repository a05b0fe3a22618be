#include "linkmgr/LinkManagerImpl.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "linkmgr/InterfaceList.h"
#include "linkmgr/dialog/DialogEntry.h"
#include "platform/Ui.h"
#include "platform/settings/Profile.h"
#include "platform/settings/RegistryTransaction.h"

namespace veltra {

namespace {

constexpr const char* kInterfacesValue = "Link_Interfaces";
constexpr const char* kSelectDllValue = "BoardSelect_Dll";
constexpr const char* kSelectIndexValue = "BoardSelect_Index";
constexpr const char* kCaption = "Link Manager";
constexpr const char* kDialogModule = "WirehubDialog.so";
// More boards than any carrier holds: a library reporting more is not believed.
constexpr int kBoardLimit = 256;

// Calls into an interface library. A driver failure is shown to the user and
// counts as no answer; the manager itself throws nothing.
template <typename Call, typename Report>
void Guarded(Call&& call, Report&& report) {
  try {
    call();
  } catch (const QMXExc& error) {
    report(error);
  } catch (...) {
  }
}

std::string Field(const char* text, size_t size) {
  return std::string(text, strnlen(text, size));
}

}  // namespace

const std::vector<std::string>& LinkManagerImpl::DefaultInterfaces() {
  static const std::vector<std::string> defaults = {"Dogwood_Orv.dll", "Cedar_Orv.dll", "Birch_Orv.dll",
                                                    "Alder_Orv.dll", "Simulator_Orv.dll"};
  return defaults;
}

LinkManagerImpl::~LinkManagerImpl() {
  selectedBoard_ = nullptr;
  boardCursor_ = nullptr;
  currentInterface_ = nullptr;
  interfaceCursor_ = nullptr;
  link_ = nullptr;
  interfaces_.reset();
  early_.reset();
  // A library added twice is one library: it is told to close once.
  std::vector<void*> closed;
  for (auto& library : libraries_) {
    void* handle = library.Handle();
    if (std::find(closed.begin(), closed.end(), handle) == closed.end()) {
      closed.push_back(handle);
      if (auto closeInfo = library.Function<CloseInfoFunction>("CloseInfo"))
        Guarded([&] { closeInfo(); }, [&](const QMXExc& error) { ReportDriverError(error); });
    }
    library.Free();
  }
  libraries_.clear();
}

void LinkManagerImpl::ReportDriverError(const QMXExc& error) {
  char text[2200];
  int written = std::snprintf(text, sizeof text, "%s Error=%d Line=%d File=%s",
                              Field(error.message, sizeof error.message).c_str(), error.error, error.line,
                              Field(error.file, sizeof error.file).c_str());
  (void)written;
  Ui::MessageBox(owner_, text, "Link Driver Error", MessageIcon::Error);
}

Link* LinkManagerImpl::OpenBoard(const BoardEntry& board) {
  Link* link = nullptr;
  Guarded([&] { link = board.owner->info->OpenLink(board.index); },
          [&](const QMXExc& error) { ReportDriverError(error); });
  return link;
}

Link* LinkManagerImpl::CurrentLink() {
  if (!selectedBoard_) return nullptr;
  // Opened when first asked for; after a failure the next call tries again.
  if (!link_) link_ = OpenBoard(*selectedBoard_);
  return link_;
}

void LinkManagerImpl::SelectInterface(WindowHandle owner) {
  LoadRest();
  // The dialog is built with Qt and lives in its own module, loaded the first
  // time it is shown and kept: a process that never shows it never loads Qt.
  static RunInterfaceDialogFunction runDialog = nullptr;
  if (!runDialog) {
    DynamicLibrary module;
    std::string reason;
    if (!module.Load(kDialogModule, false))
      reason = module.Error();
    else if (!(runDialog = module.Function<RunInterfaceDialogFunction>("RunInterfaceDialog")))
      reason = std::string(kDialogModule) + " has no entry point \"RunInterfaceDialog\"";
    if (!runDialog) {
      Ui::MessageBox(owner, "The hardware interface dialog cannot be shown: " + reason, kCaption,
                     MessageIcon::Error);
      return;
    }
    module.Detach();
  }
  char reason[256] = {};
  if (runDialog(this, owner, reason, sizeof reason) == kDialogFailed)
    Ui::MessageBox(owner, std::string("The hardware interface dialog cannot be shown: ") + reason, kCaption,
                   MessageIcon::Error);
}

Link* LinkManagerImpl::OpenLinkByName(const char* name, int index) {
  if (!name) return nullptr;
  LoadRest();
  for (InterfaceEntry* entry = interfaces_.get(); entry; entry = entry->next.get())
    for (BoardEntry* board = entry->boards.get(); board; board = board->next.get())
      if (board->index == index && strcasecmp(board->name, name) == 0) return OpenBoard(*board);
  return nullptr;
}

bool LinkManagerImpl::RegisterPath(const std::string& path, bool add) {
  std::string stored;
  // A store too busy to read is no empty list: writing one would drop every
  // path registered there.
  bool read = ReadProfileString(kSettingsSection, kInterfacesValue, stored) != RegistryStatus::Failed;
  std::string updated = RegisterInterfacePath(LimitInterfaceList(stored), path, add);
  if (updated.size() > kInterfaceListLimit) return false;
  if (read && updated != stored) WriteProfileString(kSettingsSection, kInterfacesValue, updated);
  return true;
}

bool LinkManagerImpl::LoadEntry(const std::string& libraryPath, std::unique_ptr<InterfaceEntry>& entry) {
  DynamicLibrary library;
  if (!library.Load(libraryPath)) return false;
  auto getInfo = library.Function<GetInfoFunction>("GetInfo");
  if (!getInfo) {
    Ui::MessageBox(owner_, "Cannot find entry point \"GetInfo\" in library \"" + libraryPath + "\"",
                   "Faulty DLL", MessageIcon::Error);
    return false;
  }
  InterfaceInfo* info = nullptr;
  auto report = [&](const QMXExc& error) { ReportDriverError(error); };
  Guarded([&] { info = getInfo(owner_); }, report);
  libraries_.push_back(std::move(library));  // kept until the manager goes, also without an InterfaceInfo
  if (!info) return true;

  entry = std::make_unique<InterfaceEntry>();
  entry->info = info;
  std::memcpy(entry->path, libraryPath.c_str(), libraryPath.size() + 1);
  int count = 0;
  Guarded([&] { count = info->BoardCount(); }, report);
  entry->boardCount = std::clamp(count, 0, kBoardLimit);
  Guarded([&] { info->Description(entry->description); }, report);
  entry->description[kBoardNameSize - 1] = '\0';
  for (int index = 0; index < entry->boardCount; ++index) {
    auto board = std::make_unique<BoardEntry>();
    board->owner = entry.get();
    board->index = index;
    Guarded([&] { info->BoardInfo(index, board->name, &board->id); }, report);
    board->name[kBoardNameSize - 1] = '\0';
    board->next = std::move(entry->boards);
    entry->boards = std::move(board);
  }
  return true;
}

bool LinkManagerImpl::AddInterface(const char* path) {
  if (!path || !*path) return false;
  LoadRest();
  return Add(path);
}

bool LinkManagerImpl::Add(const std::string& libraryPath) {
  // Refused rather than cut: a cut path names another file, and ';' would
  // split it in the list.
  if (libraryPath.size() > kLibraryPathLimit || libraryPath.find(';') != std::string::npos) return false;
  std::string stored;
  bool read = ReadProfileString(kSettingsSection, kInterfacesValue, stored) != RegistryStatus::Failed;
  std::string registered = RegisterInterfacePath(LimitInterfaceList(stored), libraryPath, true);
  if (registered.size() > kInterfaceListLimit) return false;  // the list is full

  std::unique_ptr<InterfaceEntry> entry;
  bool loaded = false;
  if (haveEarly_ && libraryPath == earlyPath_) {
    // Loaded already while the saved choice was restored: not loaded, asked
    // or reported twice.
    haveEarly_ = false;
    loaded = earlyLoaded_;
    entry = std::move(early_);
  } else {
    loaded = LoadEntry(libraryPath, entry);
  }
  if (!loaded) return false;
  if (entry) {
    if (read && registered != stored) WriteProfileString(kSettingsSection, kInterfacesValue, registered);
    entry->next = std::move(interfaces_);
    interfaces_ = std::move(entry);
    ++interfaceCount_;
  }
  SelectBoard(nullptr);
  return true;
}

int LinkManagerImpl::BeginInterfaces() {
  LoadRest();
  interfaceCursor_ = interfaces_.get();
  return interfaceCount_;
}

const char* LinkManagerImpl::NextInterfaceName() {
  if (!interfaceCursor_) return nullptr;
  const char* name = interfaceCursor_->description;
  interfaceCursor_ = interfaceCursor_->next.get();
  return name;
}

InterfaceEntry* LinkManagerImpl::CurrentInterface() {
  return interfaceCursor_;
}

void LinkManagerImpl::SetCurrentInterface(InterfaceEntry* entry) {
  LoadRest();
  if (entry && !Contains(entry)) return;  // not one of ours (or removed)
  currentInterface_ = entry;
}

int LinkManagerImpl::BeginBoards() {
  boardCursor_ = currentInterface_ ? currentInterface_->boards.get() : nullptr;
  return currentInterface_ ? currentInterface_->boardCount : 0;
}

int LinkManagerImpl::CurrentBoardId() {
  return boardCursor_ ? boardCursor_->id : 0;
}

const char* LinkManagerImpl::NextBoardName() {
  if (!boardCursor_) return nullptr;
  const char* name = boardCursor_->name;
  boardCursor_ = boardCursor_->next.get();
  return name;
}

BoardEntry* LinkManagerImpl::CurrentBoard() {
  return boardCursor_;
}

void LinkManagerImpl::SelectBoard(BoardEntry* board) {
  LoadRest();
  Choose(board, true);
}

void LinkManagerImpl::Choose(BoardEntry* board, bool store) {
  if (board && !Contains(board)) return;  // not one of ours (or removed)
  selectedBoard_ = board;
  link_ = nullptr;
  if (!board || !store) return;
  // The board's own interface, which callers make current before choosing it.
  // Index and library are stored together, or neither.
  RegistryTransaction transaction(RegistryRoot::CurrentUser);
  WriteProfileInt(kSettingsSection, kSelectIndexValue, board->index);
  WriteProfileString(kSettingsSection, kSelectDllValue, board->owner->path);
  transaction.Commit();
}

void LinkManagerImpl::InterfaceName(char* buffer) {
  if (!buffer) return;
  buffer[0] = '\0';
  if (!selectedBoard_) return;
  int hide = 0;
  Guarded([&] { hide = selectedBoard_->owner->info->HideBoardId(); },
          [&](const QMXExc& error) { ReportDriverError(error); });
  std::string text = Field(selectedBoard_->name, sizeof selectedBoard_->name);
  if (!hide) text += " [" + std::to_string(selectedBoard_->id) + "]";
  // Cut to the host's buffer when a long name and its ID do not fit.
  size_t length = std::min(text.size(), size_t(kInterfaceNameSize - 1));
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

void LinkManagerImpl::RemoveInterface(InterfaceEntry* entry) {
  LoadRest();
  if (!entry || !Contains(entry)) return;
  if (selectedBoard_ && selectedBoard_->owner == entry) SelectBoard(nullptr);
  RegisterPath(entry->path, false);
  // No cursor may be left on the entry.
  if (interfaceCursor_ == entry) interfaceCursor_ = entry->next.get();
  if (currentInterface_ == entry) currentInterface_ = nullptr;
  if (boardCursor_ && boardCursor_->owner == entry) boardCursor_ = nullptr;
  std::unique_ptr<InterfaceEntry>* place = &interfaces_;
  while (place->get() != entry) place = &(*place)->next;
  std::unique_ptr<InterfaceEntry> removed = std::move(*place);
  *place = std::move(removed->next);
  --interfaceCount_;
  // The library stays loaded until the manager goes.
}

void LinkManagerImpl::Initialise(WindowHandle owner) {
  owner_ = owner;
  int index = -1;
  bool choiceRead = ReadProfileInt(kSettingsSection, kSelectIndexValue, index) != RegistryStatus::Failed;
  std::string library;
  if (choiceRead && index >= 0)
    choiceRead = ReadProfileString(kSettingsSection, kSelectDllValue, library) != RegistryStatus::Failed;
  if (choiceRead && index >= 0 && RestoreAhead(library, index)) return;

  LoadAll();
  // Whatever RestoreAhead loaded and the list no longer names is not listed.
  haveEarly_ = false;
  early_.reset();
  if (choiceRead && index >= 0) {
    for (InterfaceEntry* entry = interfaces_.get(); entry; entry = entry->next.get()) {
      if (library != entry->path) continue;  // the path as saved, case and all
      for (BoardEntry* board = entry->boards.get(); board; board = board->next.get()) {
        if (board->index == index) {
          currentInterface_ = entry;
          Choose(board, false);  // stored as it is already
          return;
        }
      }
    }
    Ui::MessageBox(owner_, "Your hardware configuration has been changed", kCaption, MessageIcon::Warning);
    WriteProfileInt(kSettingsSection, kSelectIndexValue, -1);
  }
  // No saved choice: every interface with boards is chosen in turn, so the one
  // that stays is the last in the list, the earliest in "Link_Interfaces".
  for (InterfaceEntry* entry = interfaces_.get(); entry; entry = entry->next.get()) {
    if (entry->boards) {
      currentInterface_ = entry;
      Choose(entry->boards.get(), choiceRead);
    }
  }
}

bool LinkManagerImpl::RestoreAhead(const std::string& library, int index) {
  // Only a path the stored list names exactly, and that registering the
  // defaults would leave as it is, comes back the same after a whole start.
  if (library.empty() || library.size() > kLibraryPathLimit) return false;
  for (const auto& name : DefaultInterfaces())
    if (strcasecmp(name.c_str(), library.c_str()) == 0 && name != library) return false;
  std::string stored;
  if (ReadProfileString(kSettingsSection, kInterfacesValue, stored) == RegistryStatus::Failed) return false;
  auto paths = SplitInterfaceList(LimitInterfaceList(stored));
  if (std::find(paths.begin(), paths.end(), library) == paths.end()) return false;

  haveEarly_ = true;
  earlyPath_ = library;
  earlyLoaded_ = LoadEntry(library, early_);
  if (!early_) return false;
  for (BoardEntry* board = early_->boards.get(); board; board = board->next.get()) {
    if (board->index == index) {
      // Not listed yet, so not through Choose, which takes only listed boards.
      currentInterface_ = early_.get();
      selectedBoard_ = board;
      link_ = nullptr;
      restPending_ = true;
      return true;
    }
  }
  return false;
}

void LinkManagerImpl::LoadAll() {
  // Probed libraries stay loaded until listed, so that listing them does not
  // load them a second time.
  std::vector<DynamicLibrary> probes;
  std::vector<std::string> found;
  for (const auto& name : DefaultInterfaces()) {
    DynamicLibrary probe;
    if (probe.Load(name)) {
      probes.push_back(std::move(probe));
      RegisterPath(name, true);
      found.push_back(name);
    }
  }
  // Where the store cannot be read this run works with the defaults found,
  // and the stored list and choice stay as they are for the next. Where it
  // cannot be written (none can be made, or it is read-only) the defaults
  // found are listed all the same: registering them above changed nothing
  // there, and they are this run's links. Where it was written this changes
  // nothing, as they are at the list's end already.
  std::string stored;
  bool listRead = ReadProfileString(kSettingsSection, kInterfacesValue, stored) != RegistryStatus::Failed;
  std::string list = listRead ? LimitInterfaceList(stored) : std::string();
  for (const auto& name : found) {
    std::string with = RegisterInterfacePath(list, name, true);
    if (with.size() <= kInterfaceListLimit) list = with;
  }
  for (const auto& path : SplitInterfaceList(list)) Add(path);
}

void LinkManagerImpl::LoadRest() {
  if (!restPending_) return;
  restPending_ = false;
  // Listing clears the choice, as adding does; the restored one stays.
  BoardEntry* chosen = selectedBoard_;
  InterfaceEntry* current = currentInterface_;
  Link* link = link_;
  LoadAll();
  if (haveEarly_) {
    // No longer listed (changed by another process meanwhile): kept, as it holds the choice.
    haveEarly_ = false;
    if (early_) {
      early_->next = std::move(interfaces_);
      interfaces_ = std::move(early_);
      ++interfaceCount_;
    }
  }
  selectedBoard_ = chosen;
  currentInterface_ = current;
  link_ = link;
}

bool LinkManagerImpl::Contains(const InterfaceEntry* wanted) const {
  for (const InterfaceEntry* entry = interfaces_.get(); entry; entry = entry->next.get())
    if (entry == wanted) return true;
  return false;
}

bool LinkManagerImpl::Contains(const BoardEntry* wanted) const {
  for (const InterfaceEntry* entry = interfaces_.get(); entry; entry = entry->next.get())
    for (const BoardEntry* board = entry->boards.get(); board; board = board->next.get())
      if (board == wanted) return true;
  return false;
}

}  // namespace veltra
