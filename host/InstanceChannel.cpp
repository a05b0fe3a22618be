#include "host/InstanceChannel.h"

#include <QLocalSocket>
#include <QVariant>
#include <cerrno>
#include <csignal>

#include "host/SharedInstanceBlock.h"

namespace veltra {

namespace {

constexpr char kOpenCommand[] = "OpenApplication";

}  // namespace

bool InstanceChannel::Listen(int32_t pid) {
  QString name = QString::fromStdString(SharedInstanceBlock::SocketName(pid));
  // A socket file left by a killed process that had the same id.
  QLocalServer::removeServer(name);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_.listen(name)) return false;
  connect(&server_, &QLocalServer::newConnection, this, &InstanceChannel::OnConnection);
  return true;
}

void InstanceChannel::OnConnection() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      // One message: the command, the path and the directory, each ended by NUL.
      QByteArray data = socket->property("data").toByteArray() + socket->readAll();
      socket->setProperty("data", data);
      QList<QByteArray> parts = data.split('\0');
      if (parts.size() < 4) return;
      socket->setProperty("data", QByteArray());
      socket->write("OK", 2);
      socket->flush();
      if (parts[0] == kOpenCommand)
        Q_EMIT OpenRequested(QString::fromLocal8Bit(parts[1]), QString::fromLocal8Bit(parts[2]));
    });
  }
}

bool InstanceChannel::Forward(int32_t pid, const std::string& path, const std::string& directory,
                              int milliseconds) {
  if (pid <= 0) return false;
  if (kill(pid, 0) != 0 && errno != EPERM) return false;
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(SharedInstanceBlock::SocketName(pid)));
  if (!socket.waitForConnected(milliseconds)) return false;
  QByteArray message(kOpenCommand);
  message.append('\0').append(path.c_str()).append('\0').append(directory.c_str()).append('\0');
  socket.write(message);
  if (!socket.waitForBytesWritten(milliseconds)) return false;
  // The reply says the instance took the request, not just the kernel.
  QByteArray reply;
  while (reply.size() < 2 && socket.waitForReadyRead(milliseconds)) reply += socket.readAll();
  return reply.startsWith("OK");
}

}  // namespace veltra
