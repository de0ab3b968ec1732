#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <thread>

#include "OnlineServers.h"
#include "common/QtPrinters.h"
#include "online/HttpClient.h"

namespace {
class HttpClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new TestHttpServer(240); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server->ok()); }
    static TestHttpServer* server;
};
TestHttpServer* HttpClientTest::server = nullptr;

QString failureOf(THttpClient& client, const QString& url) {
    try {
        client.Get(url);
    } catch (const EHttpError& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}
}  // namespace

TEST_F(HttpClientTest, FollowsRedirectsUpToTheLimitAndKeepsCookies) {
    THttpClient client;
    EXPECT_EQ(client.GetText(server->url("/redirect/3")), "arrived");
    EXPECT_EQ(failureOf(client, server->url("/loop/0")), "More than 20 redirects");
    client.MaxRedirects = 2;
    EXPECT_EQ(failureOf(client, server->url("/redirect/3")), "More than 2 redirects");

    EXPECT_EQ(client.GetText(server->url("/checkcookie")), "cookie:");
    client.Get(server->url("/setcookie"));
    EXPECT_EQ(client.GetText(server->url("/checkcookie")), "cookie:session=abc123");
    THttpClient other;  // every client has its own jar
    EXPECT_EQ(other.GetText(server->url("/checkcookie")), "cookie:");
}

TEST_F(HttpClientTest, SendsTheRequestHeadersAndReportsProgressToTheEnd) {
    THttpClient client;
    client.Accept = "text/html, */*";
    client.UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
    client.ContentType = "video/x-flv";
    const QString headers = client.GetText(server->url("/headers"));
    EXPECT_TRUE(headers.contains("Accept: text/html, */*")) << headers.toStdString();
    EXPECT_TRUE(headers.contains("User-Agent: Mozilla/3.0 (compatible; Indy Library)"))
        << headers.toStdString();
    EXPECT_TRUE(headers.contains("Content-Type: video/x-flv")) << headers.toStdString();

    QByteArray content(300 * 1024 + 17, '\0');
    for (int i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7);
    server->put("big.bin", content);
    QList<qint64> begins, works;
    int ends = 0;
    client.OnWorkBegin = [&](qint64 n) { begins << n; };
    client.OnWork = [&](qint64 n) { works << n; };
    client.OnWorkEnd = [&] { ++ends; };
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    client.GetToFile(server->url("/slow/big.bin?kbps=4000"), out, content.size());
    EXPECT_EQ(out.data(), content);
    EXPECT_EQ(begins, QList<qint64>{content.size()});
    ASSERT_GT(works.size(), 2);
    EXPECT_TRUE(std::is_sorted(works.begin(), works.end()));
    EXPECT_EQ(works.last(), content.size());
    EXPECT_EQ(ends, 1);

    // Without Content-Length the body ends with the connection; the expected size is 0.
    begins.clear();
    works.clear();
    const QByteArray body = client.Get(server->url("/nolength"));
    EXPECT_EQ(body.size(), 50000);
    EXPECT_EQ(begins, QList<qint64>{0});
    EXPECT_EQ(works.last(), 50000);
    EXPECT_EQ(ends, 2);
}

TEST_F(HttpClientTest, FailuresAreRaisedWithTheirReason) {
    THttpClient client;
    int ends = 0;
    client.OnWorkEnd = [&] { ++ends; };
    client.StallWindowMs = 1000;
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(failureOf(client, server->url("/stall")), "The server sent less than 1024 bytes in 1 s");
    EXPECT_LT(t.elapsed(), 6000);
    EXPECT_FALSE(failureOf(client, server->url("/drop")).isEmpty());
    EXPECT_TRUE(failureOf(client, server->url("/files/missing")).startsWith("HTTP 404"))
        << failureOf(client, server->url("/files/missing")).toStdString();
    EXPECT_FALSE(failureOf(client, QString("http://127.0.0.1:%1/").arg(ClosedPort())).isEmpty());
    EXPECT_TRUE(failureOf(client, "ftp://127.0.0.1/x").startsWith("Not an http"));
    EXPECT_EQ(ends, 0);
}

TEST_F(HttpClientTest, CancelFromAnotherThreadStopsTheTransfer) {
    server->put("cancel.bin", QByteArray(2 * 1024 * 1024, 'c'));
    THttpClient client;
    qint64 last = 0;
    client.OnWork = [&](qint64 n) { last = n; };
    std::thread canceller([&client] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        client.Cancel();
    });
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    bool cancelled = false;
    try {
        client.GetToFile(server->url("/slow/cancel.bin?kbps=512"), out, 1 << 30);
    } catch (const EHttpError& e) {
        cancelled = e.Cancelled();
    }
    canceller.join();
    EXPECT_TRUE(cancelled);
    EXPECT_GT(last, 0);
    EXPECT_LT(last, 2 * 1024 * 1024);
}

TEST_F(HttpClientTest, GoesThroughTinyproxyWithBasicAuthentication) {
    TinyProxy proxy("vanto", "s3cret");
    ASSERT_TRUE(proxy.ok()) << proxy.error().toStdString();
    THttpProxy p;
    p.enabled = true;
    p.host = "127.0.0.1";
    p.port = proxy.port();
    p.user = "vanto";
    p.password = "s3cret";

    THttpClient direct;
    EXPECT_FALSE(direct.GetText(server->url("/headers")).contains("tinyproxy"));

    THttpClient through;
    through.SetProxy(p);
    EXPECT_TRUE(through.GetText(server->url("/headers")).contains("tinyproxy"))
        << "no Via header of the proxy";
    EXPECT_EQ(through.GetText(server->url("/redirect/3")), "arrived");

    // A site asking for a password through the proxy is the site's refusal, not the proxy's.
    EXPECT_EQ(failureOf(through, server->url("/auth")),
              "HTTP 401: the site refused access (it asks for a user name and password)");
    EXPECT_EQ(failureOf(direct, server->url("/auth")),
              "HTTP 401: the site refused access (it asks for a user name and password)");

    p.password = "wrong";
    THttpClient refused;
    refused.SetProxy(p);
    const QString why = failureOf(refused, server->url("/headers"));
    EXPECT_TRUE(why.contains("the proxy 127.0.0.1", Qt::CaseInsensitive)) << why.toStdString();
}

TEST(HttpProxyTest, PortRule) {
    EXPECT_EQ(THttpProxy::PortOf("8080"), 8080);
    EXPECT_EQ(THttpProxy::PortOf("abc"), 80);
    EXPECT_EQ(THttpProxy::PortOf(""), 80);
    EXPECT_EQ(THttpProxy::PortOf("70000"), 80);
}
