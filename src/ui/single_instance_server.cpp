#include "ui/single_instance_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <cstring>

#include "core/logging.h"

namespace lumivex {
namespace {

// Anything longer than the request is not one of ours.
constexpr qint64 kMaxRequestBytes = 64;
// A client that connects and says nothing is dropped after this.
constexpr int kIdleClientMs = 2000;
constexpr int kRetryPauseMs = 50;

// The user who connected, or -1 when the system does not say.
long PeerUid(const QLocalSocket& socket) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
    return -1;
  return static_cast<long>(peer.uid);
}

}  // namespace

SingleInstanceServer::SingleInstanceServer(QObject* parent) : QObject(parent) {
  // In the abstract namespace the socket goes with the process: no file is
  // left in /tmp by an instance that was killed. Such a socket has no file
  // permissions, so Accept asks who connected.
  server_.setSocketOptions(QLocalServer::AbstractNamespaceOption);
  connect(&server_, &QLocalServer::newConnection, this, &SingleInstanceServer::Accept);
}

QString SingleInstanceServer::NameFor(const std::string& programFolder) {
  QByteArray digest =
      QCryptographicHash::hash(QByteArray::fromStdString(programFolder), QCryptographicHash::Sha1).toHex();
  return QStringLiteral("lumivex-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest.left(16)));
}

bool SingleInstanceServer::Listen(const QString& name) {
  if (server_.listen(name)) return true;
  LogLine("single instance: cannot listen on " + name.toStdString() + ": " +
          server_.errorString().toStdString());
  return false;
}

void SingleInstanceServer::Accept() {
  while (QLocalSocket* client = server_.nextPendingConnection()) {
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    if (PeerUid(*client) != static_cast<long>(::getuid())) {
      LogLine("single instance: a connection from another user refused");
      client->abort();
      continue;
    }
    QTimer::singleShot(kIdleClientMs, client, [client] { client->abort(); });
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
      QByteArray request = client->peek(kMaxRequestBytes + 1);
      if (request.startsWith(kRaiseRequest)) {
        client->readAll();
        LogLine("single instance: raise request from a second instance");
        emit raiseRequested();
        client->disconnectFromServer();
      } else if (request.size() >= static_cast<qint64>(std::strlen(kRaiseRequest))) {
        client->abort();  // not the request: it cannot become one by more bytes
      }
    });
  }
}

bool SingleInstanceServer::AskToRaise(const QString& name, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  while (!deadline.hasExpired()) {
    socket.connectToServer(name);
    if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
      socket.write(kRaiseRequest);
      bool sent = socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
      socket.disconnectFromServer();
      return sent;
    }
    socket.abort();
    QThread::msleep(kRetryPauseMs);
  }
  return false;
}

void BringToFront(QWidget* window) {
  if (!window) return;
  window->showNormal();
  window->raise();
  window->activateWindow();
  LogLine("brought to front: " + window->windowTitle().toStdString());
}

}  // namespace lumivex
