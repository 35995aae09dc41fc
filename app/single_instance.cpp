#include "app/single_instance.h"

#include <array>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include "common/unique_fd.h"
#include "dialogs/qt_text.h"

namespace tessvale {
namespace {

constexpr const char* kShow = "show\n";
constexpr const char* kClose = "close\n";
constexpr const char* kNewVersion = "new-version\n";
constexpr const char* kDone = "done\n";

} // namespace

std::string InstanceSocketPath()
{
    // Qt's reading of the environment is guarded against a concurrent change; the bytes
    // are taken as they are.
    if (const QByteArray path = qgetenv("TESSVALE_INSTANCE_SOCKET"); !path.isEmpty()) {
        return path.toStdString();
    }
    std::string folder;
    if (const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"); !runtime.isEmpty()) {
        folder = runtime.toStdString();
    } else {
        folder = ToStdString(QDir::tempPath());
    }
    return folder + "/Tessvale-" + std::to_string(::getuid());
}

namespace {

// A connection to the running copy's socket; not open when no copy listens. The client
// side is plain POSIX, so that "-uninstall" needs no application object.
UniqueFd ConnectToRunningInstance()
{
    const std::string path = InstanceSocketPath();
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        return {};
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.Get() < 0) {
        return socket;
    }
    // A refused connection is a socket file without a listener: no copy runs.
    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return {};
    }
    return socket;
}

} // namespace

bool IsInstanceRunning()
{
    return ConnectToRunningInstance().Valid();
}

bool SendToRunningInstance(InstanceRequest request, int timeoutMs)
{
    const UniqueFd socket = ConnectToRunningInstance();
    if (socket.Get() < 0) {
        return false;
    }
    const char* message = request == InstanceRequest::Show    ? kShow
                          : request == InstanceRequest::Close ? kClose
                                                              : kNewVersion;
    const std::size_t length = std::strlen(message);
    if (::send(socket.Get(), message, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length)) {
        return false;
    }
    // The running copy answers once it has acted; it may also just close the socket
    // while it ends.
    pollfd waitFor{socket.Get(), POLLIN, 0};
    std::array<char, 16> answer{};
    const int ready = ::poll(&waitFor, 1, timeoutMs);
    if (ready > 0) {
        [[maybe_unused]] const ssize_t received = ::recv(socket.Get(), answer.data(), answer.size(), 0);
    }
    return true;
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::OnConnection);
}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::Listen()
{
    const QString path = ToQString(InstanceSocketPath());
    if (m_server->listen(path)) {
        return true;
    }
    // Only a socket nobody answers on may be replaced: a copy that crashed left it.
    if (SendToRunningInstance(InstanceRequest::Show, 0)) {
        return false;
    }
    QLocalServer::removeServer(path);
    return m_server->listen(path);
}

void InstanceServer::OnConnection()
{
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            if (!client->canReadLine()) {
                return;
            }
            const QByteArray line = client->readLine();
            client->write(kDone);
            client->flush();
            client->disconnectFromServer();
            // Acted on after this handler: closing pumps events, which may delete the
            // client socket under a handler that still used it.
            if (line == kShow) {
                QMetaObject::invokeMethod(this, &InstanceServer::ShowRequested, Qt::QueuedConnection);
            } else if (line == kClose) {
                QMetaObject::invokeMethod(this, &InstanceServer::CloseRequested, Qt::QueuedConnection);
            } else if (line == kNewVersion) {
                QMetaObject::invokeMethod(this, &InstanceServer::NewVersionMenuItemRequested, Qt::QueuedConnection);
            }
        });
    }
}

} // namespace tessvale
