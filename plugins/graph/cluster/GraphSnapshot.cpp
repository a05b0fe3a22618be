#include "plugins/graph/cluster/GraphSnapshot.h"

#include <QImage>
#include <QPixmap>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "plugins/graph/GraphWindow.h"
#include "plugins/graph/cluster/GraphTable.h"

namespace veltra::GraphSnapshot {

std::string Directory() {
  const char* directory = std::getenv(kDirectoryVariable);
  return directory ? directory : "";
}

std::string SafeName(const std::string& settingsName) {
  std::string name;
  for (char c : settingsName.substr(0, 100)) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '_' || c == '.';
    name += plain ? c : '_';
  }
  if (name.empty()) name = "graph";
  if (name[0] == '.') name[0] = '_';
  return name;
}

std::string UniqueName(const std::string& settingsName) {
  std::string base = SafeName(settingsName);
  std::string name = base;
  for (int n = 2; GraphTable::FileNameUsed(name); ++n) name = base + "-" + std::to_string(n);
  return name;
}

bool Write(const GraphRecord& record, const std::string& directory) {
  if (!record.window || record.fileName.empty()) return false;
  std::string base = directory + "/" + record.fileName;
  bool written = record.window->grab().save(QString::fromStdString(base + ".png"), "PNG");

  std::FILE* file = std::fopen((base + ".csv").c_str(), "w");
  if (!file) return false;
  // The points the window draws: index first + k of the shown data set.
  std::fputs("index,value\n", file);
  long long first = record.window->First();
  long long size = static_cast<long long>(record.shown.size());
  for (long long k = 0; k < record.window->Count(); ++k) {
    long long index = first + k;
    if (index < 0 || index >= size) continue;
    // Shortest text that reads back as the same double, with a decimal
    // point whatever locale Qt has set.
    char value[64];
    auto end = std::to_chars(value, value + sizeof value, record.shown[static_cast<std::size_t>(index)]).ptr;
    std::fprintf(file, "%lld,%.*s\n", index, static_cast<int>(end - value), value);
  }
  written = std::fclose(file) == 0 && written;
  return written;
}

}  // namespace veltra::GraphSnapshot
