#include "app/shell/SingleInstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace quaverly {

namespace {

// The user's own runtime folder: private to the user, so the lock and the socket
// are per user.
QString runtimeFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  return folder;
}

// A file name made from the title; titles in any script give a plain name.
QString baseName(const QString& title) {
  const QByteArray digest = QCryptographicHash::hash(title.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  return QStringLiteral("quaverly-") + QString::fromLatin1(digest);
}

// How long a second start waits for the running instance to take its request.
constexpr int kActivationTimeoutMs = 1000;

}  // namespace

SingleInstanceLock::SingleInstanceLock(const QString& title, QObject* parent)
    : QObject(parent),
      lockFileName_(runtimeFolder() + u'/' + baseName(title) + QStringLiteral(".lock")),
      lock_(lockFileName_) {
#if defined(Q_OS_UNIX)
  // A full path keeps the socket in the private folder instead of the shared /tmp.
  serverName_ = runtimeFolder() + u'/' + baseName(title) + QStringLiteral(".socket");
#else
  serverName_ = baseName(title) + u'-' + qEnvironmentVariable("USERNAME");
#endif
  // The lock lasts as long as the program runs, however long that is: only a lock
  // whose process has ended counts as stale.
  lock_.setStaleLockTime(0);
  connect(&server_, &QLocalServer::newConnection, this, &SingleInstanceLock::acceptConnections);
}

SingleInstanceLock::~SingleInstanceLock() = default;

bool SingleInstanceLock::acquire() {
  if (lock_.isLocked()) return true;
  if (!lock_.tryLock(0)) return false;
  // Holding the lock, any socket file left behind is a crashed run's.
  QLocalServer::removeServer(serverName_);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  // Without the socket the program still runs; a second start then only shows its
  // message.
  server_.listen(serverName_);
  return true;
}

bool SingleInstanceLock::activateRunning() const {
  QLocalSocket socket;
  socket.connectToServer(serverName_);
  if (!socket.waitForConnected(kActivationTimeoutMs)) return false;
  socket.write("activate\n");
  const bool written = socket.waitForBytesWritten(kActivationTimeoutMs);
  socket.disconnectFromServer();
  return written;
}

void SingleInstanceLock::acceptConnections() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    // Every connection is a request to show the window; what it says does not matter.
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromServer();
    emit activationRequested();
  }
}

}  // namespace quaverly
