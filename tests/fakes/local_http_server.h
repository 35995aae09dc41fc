// A real HTTP(S) server on loopback for tests: tests/fakes/http_test_server.py run by
// python3, started in the constructor and stopped in the destructor.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace tessvale::test {

class LocalHttpServer
{
public:
    // Extra arguments go to the script (--root DIR, --cert FILE --key FILE).
    explicit LocalHttpServer(const std::vector<std::string>& arguments = {});
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;
    ~LocalHttpServer();

    // False when the server did not come up (the reason is in Error()).
    bool Running() const { return m_port != 0; }
    const std::string& Error() const { return m_error; }
    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>" (or https when started with a certificate).
    std::string BaseUrl() const;

private:
    pid_t m_pid = -1;
    int m_port = 0;
    bool m_tls = false;
    std::string m_error;
};

} // namespace tessvale::test
