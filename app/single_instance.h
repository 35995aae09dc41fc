// One running copy per user: the first copy listens on a local socket named after
// "Tessvale" and the user; a later start asks it to show itself or, with "-uninstall",
// to close, and the periodic update run asks it to offer the new version in its menu bar.
#pragma once

#include <string>

#include <QObject>

class QLocalServer;

namespace tessvale {

enum class InstanceRequest
{
    Show,
    Close,
    AddNewVersionMenuItem,
};

// The socket's path: $TESSVALE_INSTANCE_SOCKET when set, else
// $XDG_RUNTIME_DIR/Tessvale-<uid> (or the temporary folder when that is not set).
std::string InstanceSocketPath();

// Hands a request to the running copy and waits for its answer. False when no copy
// is running (no socket, or a socket left by a copy that has ended).
bool SendToRunningInstance(InstanceRequest request, int timeoutMs = 5000);

// True when a running copy listens on the socket; nothing is asked of it.
bool IsInstanceRunning();

// The running copy's side: listens for the requests of later starts.
class InstanceServer : public QObject
{
    Q_OBJECT

public:
    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;

    // Starts listening; a socket file left by a copy that has ended is replaced.
    bool Listen();

signals:
    void ShowRequested();
    void CloseRequested();
    // The update run found a new version: the menu bar gets "New version available!".
    void NewVersionMenuItemRequested();

private:
    void OnConnection();

    QLocalServer* m_server = nullptr;
};

} // namespace tessvale
