// The link manager library (Wirehub) exports
//   extern "C" LinkManager* GetLinkManager();
//   extern "C" void CloseLinkManager();
#pragma once

#include "veltra/WindowHandle.h"

namespace veltra {

class Link;
struct InterfaceEntry;  // opaque outside the link manager
struct BoardEntry;      // opaque outside the link manager

constexpr int kInterfaceNameSize = 32;

class LinkManager {
 public:
  virtual ~LinkManager() = default;                               // 0
  virtual Link* CurrentLink() = 0;                                // 1
  virtual void SelectInterface(WindowHandle owner) = 0;           // 2
  virtual Link* OpenLinkByName(const char* name, int index) = 0;  // 3
  virtual bool AddInterface(const char* path) = 0;                // 4
  virtual int BeginInterfaces() = 0;                              // 5
  virtual const char* NextInterfaceName() = 0;                    // 6
  virtual InterfaceEntry* CurrentInterface() = 0;                 // 7
  virtual void SetCurrentInterface(InterfaceEntry* entry) = 0;    // 8
  virtual int BeginBoards() = 0;                                  // 9
  virtual int CurrentBoardId() = 0;                               // 10
  virtual const char* NextBoardName() = 0;                        // 11
  virtual BoardEntry* CurrentBoard() = 0;                         // 12
  virtual void SelectBoard(BoardEntry* board) = 0;                // 13
  // Writes the selection text into a buffer of kInterfaceNameSize bytes.
  virtual void InterfaceName(char* buffer) = 0;             // 14
  virtual void RemoveInterface(InterfaceEntry* entry) = 0;  // 15
  virtual void Initialise(WindowHandle owner) = 0;          // 16
};

using GetLinkManagerFunction = LinkManager* (*)();
using CloseLinkManagerFunction = void (*)();

}  // namespace veltra
