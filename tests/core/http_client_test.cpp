#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/http_client.h"
#include "fakes/environment_guard.h"
#include "fakes/local_http_server.h"
#include "fakes/temp_folder.h"

namespace tessvale {
namespace {

using test::EnvironmentGuard;
using test::LocalHttpServer;
using test::ReadFile;
using test::TempFolder;

// The bytes the test server sends for a body of `size` bytes.
std::string ServerBody(std::size_t size)
{
    std::string body;
    for (std::size_t i = 0; i < size; ++i) {
        body += static_cast<char>(i % 256);
    }
    return body;
}

class HttpClient : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Loopback must never be sent through a proxy the environment may name.
        m_environment.Set("no_proxy", "127.0.0.1,localhost");
        m_environment.Set("NO_PROXY", "127.0.0.1,localhost");
        ASSERT_TRUE(m_server.Running()) << m_server.Error();
        ASSERT_FALSE(m_folder.Path().empty());
    }

    std::string Url(const std::string& path) const { return m_server.BaseUrl() + path; }

    EnvironmentGuard m_environment;
    LocalHttpServer m_server;
    TempFolder m_folder;
};

TEST_F(HttpClient, DownloadsBodyWithAndWithoutContentLength)
{
    const std::string target = m_folder.File("body");
    EXPECT_EQ(HttpDownloadToFile({}, Url("/length/1000"), target), 1000u);
    EXPECT_EQ(ReadFile(target), ServerBody(1000));

    EXPECT_EQ(HttpDownloadToFile({}, Url("/unsized/777"), target), 777u);
    EXPECT_EQ(ReadFile(target), ServerBody(777));

    EXPECT_EQ(HttpGetText(Url("/length/300")), ServerBody(300));
    EXPECT_EQ(HttpGetText(Url("/unsized/300")), ServerBody(300));
}

TEST_F(HttpClient, EmptyBodyReturnsZeroAndLeavesEmptyFile)
{
    const std::string target = m_folder.File("empty");
    test::WriteFile(target, "old content");
    EXPECT_EQ(HttpDownloadToFile({}, Url("/empty"), target), 0u);
    EXPECT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(ReadFile(target), "");
    EXPECT_EQ(HttpGetText(Url("/empty")), "");
}

TEST_F(HttpClient, NotFoundFailsWithoutTouchingLastErrorOrFile)
{
    const std::string target = m_folder.File("kept");
    test::WriteFile(target, "old content");
    SetLastHttpError(1234);
    EXPECT_EQ(HttpDownloadToFile({}, Url("/missing"), target), 0u);
    EXPECT_EQ(HttpGetText(Url("/missing")), "");
    EXPECT_EQ(LastHttpError(), 1234);
    // The file is opened only for a 200 answer.
    EXPECT_EQ(ReadFile(target), "old content");
}

TEST_F(HttpClient, UnauthorizedAndPaymentRequiredSetTheirLastErrors)
{
    const std::string target = m_folder.File("x");
    SetLastHttpError(0);
    EXPECT_EQ(HttpDownloadToFile({}, Url("/denied"), target), 0u);
    EXPECT_EQ(LastHttpError(), kHttpErrorAccessDenied);

    SetLastHttpError(0);
    EXPECT_EQ(HttpGetText(Url("/expired")), "");
    EXPECT_EQ(LastHttpError(), kHttpErrorAccountExpired);

    SetLastHttpError(0);
    EXPECT_EQ(HttpGetText(Url("/denied")), "");
    EXPECT_EQ(LastHttpError(), 65);
    SetLastHttpError(0);
    EXPECT_EQ(HttpDownloadToFile({}, Url("/expired"), target), 0u);
    EXPECT_EQ(LastHttpError(), 1793);
}

TEST_F(HttpClient, AnswersBasicChallengeWithEmptyCredentials)
{
    EXPECT_EQ(HttpGetText(Url("/empty-auth")), "welcome");
    // Credentials go out only after a challenge.
    EXPECT_EQ(HttpGetText(Url("/unasked")), "clean");
}

TEST_F(HttpClient, SendsPathWithQueryAndFollowsNoRedirectOverPlainHttp)
{
    EXPECT_EQ(HttpGetText(Url("/echo/a/b?id=1&x=y%20z")), "/echo/a/b?id=1&x=y%20z");
    // Redirects lead only to https, even on the same server.
    EXPECT_EQ(HttpGetText(Url("/redirect")), "");
    EXPECT_EQ(HttpGetText(Url("/hops/1")), "");
    EXPECT_EQ(HttpGetText(Url("/hops/0")), "arrived");
}

TEST_F(HttpClient, AnswersBeyondTheSizeLimitFail)
{
    HttpOptions options;
    options.maxBytes = 1000;
    EXPECT_EQ(HttpGetText(Url("/length/1000"), options), ServerBody(1000));
    EXPECT_EQ(HttpGetText(Url("/length/1001"), options), "");
    EXPECT_EQ(HttpGetText(Url("/unsized/1001"), options), "");
    // A stated length beyond the limit is refused before the file is made.
    const std::string target = m_folder.File("big");
    EXPECT_EQ(HttpDownloadToFile({}, Url("/length/5000"), target, options), 0u);
    EXPECT_FALSE(std::filesystem::exists(target));
    // The default limit holds as well: 4 MiB.
    EXPECT_EQ(HttpGetText(Url("/unsized/" + std::to_string(4 * 1024 * 1024 + 1))), "");
}

TEST_F(HttpClient, TransferEndsAtItsTimeLimitOrWhenCancelled)
{
    // The server trickles a byte every 0.2 s for 60 s: fast enough for the low-speed
    // limit, so only the total limit ends it.
    HttpOptions options;
    options.totalTimeoutSeconds = 1;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(HttpGetText(Url("/slow/60/x"), options), "");
    HttpOptions shared;
    shared.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    EXPECT_EQ(HttpDownloadToFile({}, Url("/slow/60/x"), m_folder.File("slow"), shared), 0u);
    std::atomic<bool> cancel{false};
    HttpOptions cancellable;
    cancellable.cancel = &cancel;
    const HttpProgress progress = [&cancel](int) { cancel = true; };
    EXPECT_EQ(HttpDownloadToFile(progress, Url("/slow/60/x"), m_folder.File("cancelled"), cancellable), 0u);
    // Far below the minute each transfer would take without its limit.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(50));
}

TEST_F(HttpClient, LargeDownloadIsWrittenWholeAndProgressReachesHundred)
{
    const std::size_t size = 5 * 65536 + 123;
    const std::string target = m_folder.File("large");
    std::vector<int> reports;
    const HttpProgress progress = [&reports](int percent) { reports.push_back(percent); };
    EXPECT_EQ(HttpDownloadToFile(progress, Url("/length/" + std::to_string(size)), target), size);
    EXPECT_EQ(ReadFile(target), ServerBody(size));
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), 100);
    int highest = -1;
    for (const int percent : reports) {
        EXPECT_GE(percent, highest == -1 ? -1 : highest) << "progress went backwards";
        highest = std::max(highest, percent);
    }
}

TEST_F(HttpClient, ProgressWithoutStatedLengthStaysUnknown)
{
    std::vector<int> reports;
    const HttpProgress progress = [&reports](int percent) { reports.push_back(percent); };
    EXPECT_EQ(HttpDownloadToFile(progress, Url("/unsized/200000"), m_folder.File("u")), 200000u);
    ASSERT_FALSE(reports.empty());
    for (const int percent : reports) {
        EXPECT_LE(percent, 0);
    }
}

TEST_F(HttpClient, UnwritableTargetFails)
{
    EXPECT_EQ(HttpDownloadToFile({}, Url("/length/10"), m_folder.File("no/such/folder/file")), 0u);
}

TEST(HttpClientFailures, RefusedConnectionAndBadAddressesFail)
{
    TempFolder folder;
    // Port 1 on loopback has no listener.
    EXPECT_EQ(HttpGetText("http://127.0.0.1:1/x"), "");
    EXPECT_EQ(HttpDownloadToFile({}, "not a url", folder.File("f")), 0u);
    EXPECT_EQ(HttpGetText("file:///etc/hostname"), "");
    EXPECT_EQ(HttpGetText("ftp://127.0.0.1/x"), "");
}

class HttpsClient : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_environment.Set("no_proxy", "127.0.0.1,localhost");
        ASSERT_FALSE(m_folder.Path().empty());
        const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost"
                                    " -addext subjectAltName=IP:127.0.0.1,DNS:localhost -keyout " +
                                    m_folder.File("key.pem") + " -out " + m_folder.File("cert.pem") +
                                    " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << "openssl could not make a test certificate";
        m_server = std::make_unique<LocalHttpServer>(
            std::vector<std::string>{"--cert", m_folder.File("cert.pem"), "--key", m_folder.File("key.pem")});
        ASSERT_TRUE(m_server->Running()) << m_server->Error();
    }

    EnvironmentGuard m_environment;
    TempFolder m_folder;
    std::unique_ptr<LocalHttpServer> m_server;
};

TEST_F(HttpsClient, FetchesOverTlsWhenTheCertificateIsTrusted)
{
    HttpOptions options;
    options.caFile = m_folder.File("cert.pem");
    const std::string url = m_server->BaseUrl() + "/length/70000";
    ASSERT_TRUE(url.starts_with("https://"));
    EXPECT_EQ(HttpGetText(url, options), ServerBody(70000));
    EXPECT_EQ(HttpDownloadToFile({}, url, m_folder.File("tls"), options), 70000u);
    EXPECT_EQ(ReadFile(m_folder.File("tls")), ServerBody(70000));
}

TEST_F(HttpsClient, FollowsAtMostFiveRedirectsOnTheSameHttpsServer)
{
    HttpOptions options;
    options.caFile = m_folder.File("cert.pem");
    const std::string base = m_server->BaseUrl();
    EXPECT_EQ(HttpGetText(base + "/hops/5", options), "arrived");
    EXPECT_EQ(HttpGetText(base + "/hops/6", options), "");
    EXPECT_EQ(HttpDownloadToFile({}, base + "/redirect", m_folder.File("r"), options), 10u);
}

TEST_F(HttpsClient, RefusesRedirectsToAnotherHostOrToPlainHttp)
{
    HttpOptions options;
    options.caFile = m_folder.File("cert.pem");
    const std::string port = std::to_string(m_server->Port());
    // The same server under another name: the certificate would fit, the host does not.
    const std::string otherName = "https://localhost:" + port + "/length/10";
    ASSERT_EQ(HttpGetText(otherName, options), ServerBody(10));
    EXPECT_EQ(HttpGetText(m_server->BaseUrl() + "/redirect-to?" + otherName, options), "");
    test::LocalHttpServer plain;
    ASSERT_TRUE(plain.Running()) << plain.Error();
    const std::string plainTarget = plain.BaseUrl() + "/length/10";
    EXPECT_EQ(HttpGetText(m_server->BaseUrl() + "/redirect-to?" + plainTarget, options), "");
    EXPECT_EQ(HttpGetText(m_server->BaseUrl() + "/redirect-to?http://127.0.0.1:" + port + "/length/10", options), "");
    EXPECT_EQ(HttpDownloadToFile({}, m_server->BaseUrl() + "/redirect-to?" + otherName, m_folder.File("x"), options),
              0u);
    EXPECT_FALSE(std::filesystem::exists(m_folder.File("x")));
}

TEST_F(HttpsClient, RejectsAnUntrustedCertificate)
{
    // Without the test certificate as trust anchor the server cannot be verified.
    EXPECT_EQ(HttpGetText(m_server->BaseUrl() + "/length/10"), "");
    EXPECT_EQ(HttpDownloadToFile({}, m_server->BaseUrl() + "/length/10", m_folder.File("f")), 0u);
    EXPECT_FALSE(std::filesystem::exists(m_folder.File("f")));
}

} // namespace
} // namespace tessvale
