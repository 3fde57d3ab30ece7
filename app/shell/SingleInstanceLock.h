// One running program per user and title. The first start holds a lock file in the
// user's runtime folder and listens on a local socket beside it; a second start
// finds the lock taken and asks the first, through that socket, to bring its window
// to the top. The title is part of the name, so a Japanese and an English run (whose
// titles differ) do not see each other, as windows found by their caption would not.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

namespace quaverly {

class SingleInstanceLock : public QObject {
  Q_OBJECT

 public:
  explicit SingleInstanceLock(const QString& title, QObject* parent = nullptr);
  ~SingleInstanceLock() override;

  // True when this process is now the running instance (it holds the lock and
  // listens for activation requests); false when another running process holds it.
  // A lock left by a process that no longer runs is taken over.
  bool acquire();

  // Asks the running instance to bring its window to the top; false when it could
  // not be reached.
  bool activateRunning() const;

  // The lock file's path.
  QString lockFileName() const { return lockFileName_; }

 signals:
  // Another start asked this instance to show itself.
  void activationRequested();

 private:
  void acceptConnections();

  QString lockFileName_;
  QLockFile lock_;
  QString serverName_;
  QLocalServer server_;
};

}  // namespace quaverly
