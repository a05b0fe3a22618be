// Requests between instances: each full instance listens on a local socket
// named from its process id; a start that hands its application over to the
// running instance sends one message there.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <string>

namespace veltra {

class InstanceChannel final : public QObject {
  Q_OBJECT

 public:
  // Starts listening as the instance with this process id.
  bool Listen(int32_t pid);

  // Sends OpenApplication with the path and working directory to the
  // instance with that process id. False when it cannot be reached (it died,
  // or never listened).
  static bool Forward(int32_t pid, const std::string& path, const std::string& directory,
                      int milliseconds = 3000);

 Q_SIGNALS:
  void OpenRequested(const QString& path, const QString& directory);

 private:
  void OnConnection();
  QLocalServer server_;
};

}  // namespace veltra
