// The titles, units and ranges of a graph, each twice: as given by the DSP
// application (or a library caller) and as locked by the user, with a lock
// flag. What the window draws is the effective value: the locked one while
// its flag is set, else the given one.
#pragma once

#include <array>
#include <string>

namespace veltra {

// In the order of the lock flags (and of the stored values).
enum class GraphProperty { Title, XTitle, XUnit, YTitle, YUnit, XMin, XSize, YMin, YSize, PhysMin, PhysSize };

constexpr int kGraphPropertyCount = 11;
constexpr int kGraphTextCount = 5;  // Title to YUnit are texts, the rest numbers

constexpr int Index(GraphProperty p) {
  return static_cast<int>(p);
}
constexpr bool IsText(GraphProperty p) {
  return Index(p) < kGraphTextCount;
}

struct GraphProperties {
  // Texts use only the first five entries, numbers the last six.
  std::array<std::string, kGraphPropertyCount> givenText;
  std::array<std::string, kGraphPropertyCount> lockedText;
  std::array<double, kGraphPropertyCount> givenNumber{};
  std::array<double, kGraphPropertyCount> lockedNumber{};
  std::array<bool, kGraphPropertyCount> locked{};

  // The construction defaults; the locked values start as copies.
  GraphProperties();

  const std::string& Text(GraphProperty p) const {
    return locked[Index(p)] ? lockedText[Index(p)] : givenText[Index(p)];
  }
  double Number(GraphProperty p) const {
    return locked[Index(p)] ? lockedNumber[Index(p)] : givenNumber[Index(p)];
  }
  void SetGiven(GraphProperty p, const std::string& text) { givenText[Index(p)] = text; }
  void SetGiven(GraphProperty p, double number) { givenNumber[Index(p)] = number; }
  // Setting a lock starts the locked value from the given one.
  void SetLocked(GraphProperty p, bool on);
  // The locked values become copies of the given ones (flags untouched).
  void CopyGivenToLocked();
};

// The names of the stored values: "Title", "XTitle", ... "PhysSize".
const char* GraphPropertyName(GraphProperty p);

}  // namespace veltra
