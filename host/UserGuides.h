// The user guides of the installation: one for each board family folder F
// and board folder G under the installation's target/ that has
// documentation/Veltra.pdf. The list is built on first use and kept for the
// rest of the run.
#pragma once

#include <string>
#include <vector>

namespace veltra {

struct UserGuide {
  std::string folder;       // full path of F/G/documentation
  std::string description;  // F's name, two blanks, G's name
};

class UserGuides {
 public:
  static constexpr size_t kFieldSize = 256;

  // The list; searched for on the first call only.
  const std::vector<UserGuide>& List();

  // The guides under installationDirectory/target/ (directory ending in
  // '/'); none when it is empty or has no target folder.
  static std::vector<UserGuide> Search(const std::string& installationDirectory);

 private:
  bool built_ = false;
  std::vector<UserGuide> list_;
};

}  // namespace veltra
