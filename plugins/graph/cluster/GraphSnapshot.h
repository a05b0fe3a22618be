// Graphs written to files instead of a screen: when VELTRA_GRAPHS_DIR names
// a directory (veltra-run --graphs sets it), every graph leaves NAME.png, the
// window's picture, and NAME.csv, its shown points, when it is closed and
// when the run ends.
#pragma once

#include <string>

#include "plugins/graph/cluster/GraphRecord.h"

namespace veltra::GraphSnapshot {

constexpr const char* kDirectoryVariable = "VELTRA_GRAPHS_DIR";

// The directory, or "" when graphs are not written.
std::string Directory();
// The settings name as a file name: letters, digits, '-', '_' and '.' kept,
// anything else '_'; never empty, never hidden, at most 100 characters.
std::string SafeName(const std::string& settingsName);
// A name for a new graph's files, with "-2", "-3" ... when an open graph
// already uses it.
std::string UniqueName(const std::string& settingsName);
// Writes both files of the record; on the windows' thread.
bool Write(const GraphRecord& record, const std::string& directory);

}  // namespace veltra::GraphSnapshot
