// The open graphs of this library, by the handle service 1 returned. Every
// handle the application sends is looked up here, so a word that service 1
// never returned, or one already closed, reaches no memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "plugins/graph/cluster/GraphRecord.h"

namespace veltra::GraphTable {

// Handles start above every result code, so a handle never reads as one.
constexpr int32_t kFirstHandle = 0x100;

int32_t Add(std::unique_ptr<GraphRecord> record);
// Null for a handle that is not open.
GraphRecord* Find(int32_t handle);
std::unique_ptr<GraphRecord> Remove(int32_t handle);
// Every open record, taken out of the table, and handles counted from the
// start again: the end of the process, for a program that must have it
// without ending (the fuzz target, between its inputs).
std::vector<std::unique_ptr<GraphRecord>> TakeAll();
void ForEach(const std::function<void(GraphRecord&)>& function);
// True when an open graph uses fileName.
bool FileNameUsed(const std::string& fileName);

}  // namespace veltra::GraphTable
