#include "platform/curl_downloader.h"
#include "platform/jpeg_download.h"
#include "tests/platform/tiny_http_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using platform::CurlDownloader;
using testhttp::Answer;
using testhttp::TinyHttpServer;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// Every entry of the folder, hidden ones included.
QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

class DownloadTest : public ::testing::Test {
protected:
    QString target() const { return dir.path() + "/answer.txt"; }
    QString url(const std::string& path) const {
        return QString::fromStdString(server.base() + path);
    }
    void putOld() {
        QFile f(target());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    QTemporaryDir dir;
    TinyHttpServer server;
};

TEST_F(DownloadTest, CompleteBodyLandsUnderItsName) {
    std::string body(300000, 'x');
    body[0] = '\xFF';
    server.set("/status", {200, body});
    putOld();
    CurlDownloader d;
    EXPECT_TRUE(d.downloadFile(url("/status"), target()));
    EXPECT_EQ(readAll(target()), QByteArray::fromStdString(body));
    EXPECT_EQ(entries(dir.path()), QStringList{"answer.txt"});
    EXPECT_TRUE(d.lastError().empty());
}

TEST_F(DownloadTest, EmptyBodyIsAnAnswer) {
    server.set("/control?var=lamp&val=30", {200, ""});
    CurlDownloader d;
    EXPECT_TRUE(d.downloadFile(url("/control?var=lamp&val=30"), target()));
    EXPECT_EQ(readAll(target()), QByteArray());
    EXPECT_EQ(server.requests(), std::vector<std::string>{"/control?var=lamp&val=30"});
}

TEST_F(DownloadTest, HttpErrorsFailAndKeepTheOldFile) {
    server.set("/e500", {500, "broken"});
    server.set("/e400", {400, "bad"});
    putOld();
    CurlDownloader d;
    EXPECT_FALSE(d.downloadFile(url("/e500"), target()));
    EXPECT_FALSE(d.downloadFile(url("/e400"), target()));
    EXPECT_FALSE(d.downloadFile(url("/missing"), target())); // 404
    EXPECT_EQ(readAll(target()), QByteArray("old"));
    EXPECT_EQ(entries(dir.path()), QStringList{"answer.txt"});
    EXPECT_FALSE(d.lastError().empty());
}

TEST_F(DownloadTest, ShortBodyFailsAndLeavesNothing) {
    Answer a{200, std::string(1000, 'y')};
    a.announcedLength = 5000;
    server.set("/capture", a);
    CurlDownloader d;
    EXPECT_FALSE(d.downloadFile(url("/capture"), target()));
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

TEST_F(DownloadTest, RefusedConnectionFails) {
    int port;
    {
        TinyHttpServer gone;
        port = gone.port();
    }
    CurlDownloader d;
    EXPECT_FALSE(d.downloadFile(QString("http://127.0.0.1:%1/status").arg(port), target()));
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

TEST_F(DownloadTest, StalledAnswerEndsAtTheRequestTimeOut) {
    Answer a{200, "never"};
    a.stall = true;
    server.set("/capture", a);
    CurlDownloader d(CurlDownloader::Limits{30000, 700});
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(d.downloadFile(url("/capture"), target()));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_GE(ms, 600);
    EXPECT_LT(ms, 15000); // the request limit, not the connect one
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

// A listening socket whose accept queue is full drops new connection attempts, so a
// connection is never established: the connect limit, not the whole-request one, ends it.
TEST_F(DownloadTest, UnansweredConnectionEndsAtTheConnectTimeOut) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(c);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    CurlDownloader d(CurlDownloader::Limits{400, 30000});
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(
        d.downloadFile(QString("http://127.0.0.1:%1/status").arg(ntohs(addr.sin_port)), target()));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_GE(ms, 300);
    EXPECT_LT(ms, 15000) << d.lastError(); // the connect limit, not the request one
    EXPECT_TRUE(entries(dir.path()).isEmpty());
    for (int c : fillers)
        ::close(c);
    ::close(listener);
}

TEST_F(DownloadTest, DefaultLimitsAreThreeAndTenSeconds) {
    const CurlDownloader::Limits limits;
    EXPECT_EQ(limits.connectTimeoutMs, 3000);
    EXPECT_EQ(limits.requestTimeoutMs, 10000);
}

TEST_F(DownloadTest, CancelFlagAbandonsARequestInProgress) {
    Answer a{200, "never"};
    a.stall = true;
    server.set("/capture", a);
    std::atomic<bool> cancel{false};
    CurlDownloader d(CurlDownloader::Limits{3000, 30000});
    d.setCancelFlag(&cancel);
    std::thread raiser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(d.downloadFile(url("/capture"), target()));
    raiser.join();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_LT(ms, 15000); // not the request limit
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

TEST_F(DownloadTest, UnwritableTargetFolderFails) {
    server.set("/status", {200, "ok"});
    CurlDownloader d;
    EXPECT_FALSE(d.downloadFile(url("/status"), dir.path() + "/no/such/folder/answer.txt"));
}

TEST_F(DownloadTest, OnlyHttpIsFetched) {
    QFile secret(dir.path() + "/secret");
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("s");
    secret.close();
    CurlDownloader d;
    EXPECT_FALSE(d.downloadFile("file://" + dir.path() + "/secret", target()));
    EXPECT_FALSE(QFile::exists(target()));
}

TEST_F(DownloadTest, JpegFetchKeepsOnlyFramesThatStartLikeJpeg) {
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(100, 'j');
    server.set("/good", {200, jpeg});
    server.set("/text", {200, "<html>not a frame</html>"});
    Answer cut{200, jpeg};
    cut.announcedLength = 1000;
    server.set("/cut", cut);
    CurlDownloader d;
    const QString frame = dir.path() + "/c127_0_0_1f3.jpg";
    EXPECT_FALSE(platform::downloadJpeg(d, url("/text"), frame));
    EXPECT_FALSE(platform::downloadJpeg(d, url("/cut"), frame));
    EXPECT_FALSE(platform::downloadJpeg(d, url("/e404"), frame));
    EXPECT_TRUE(entries(dir.path()).isEmpty());
    EXPECT_TRUE(platform::downloadJpeg(d, url("/good"), frame));
    EXPECT_EQ(readAll(frame), QByteArray::fromStdString(jpeg));
    EXPECT_EQ(entries(dir.path()), QStringList{"c127_0_0_1f3.jpg"});
}

TEST_F(DownloadTest, BodyBeyondTheSizeLimitIsCutOffAndFails) {
    const long long limit = CurlDownloader::Limits{}.maxBodyBytes;
    EXPECT_EQ(limit, 16LL * 1024 * 1024);
    server.set("/full", {200, std::string(limit, 'x')});
    server.set("/over", {200, std::string(limit + 1, 'x')});
    Answer endless{200, std::string(64 * 1024, 'z')};
    endless.sendLength = false;
    endless.endless = true;
    server.set("/endless", endless);
    CurlDownloader d(CurlDownloader::Limits{3000, 60000});
    EXPECT_TRUE(d.downloadFile(url("/full"), target()));
    EXPECT_EQ(QFileInfo(target()).size(), limit);
    EXPECT_FALSE(d.downloadFile(url("/over"), target()));
    EXPECT_EQ(QFileInfo(target()).size(), limit); // the earlier answer stays
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(d.downloadFile(url("/endless"), target()));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_LT(ms, 30000); // long before the request limit
    EXPECT_EQ(d.lastError(), "body larger than 16777216 bytes");
    EXPECT_EQ(entries(dir.path()), QStringList{"answer.txt"});
}

// What a device sent that had broken off or lied, each a failed frame that leaves no file.
TEST_F(DownloadTest, FrameFetchKeepsOnlyWholeJpegs) {
    const std::string head("\xFF\xD8\xFF\xE0", 4);
    const std::string whole = head + std::string(3000, 'j') + std::string("\xFF\xD9", 2);
    const std::string half = whole.substr(0, whole.size() / 2);
    server.set("/good", {200, whole});
    Answer closedHalfWay{200, half};
    closedHalfWay.sendLength = false;
    server.set("/closed", closedHalfWay);
    server.set("/cutWithItsLength", {200, half});
    server.set("/text", {200, head + "Content-Type: text/plain\r\n\r\nbusy"});
    Answer shortOfItsLength{200, half};
    shortOfItsLength.announcedLength = long(whole.size());
    server.set("/short", shortOfItsLength);
    server.set("/empty", {200, ""});
    CurlDownloader d;
    const QString frame = dir.path() + "/c127_0_0_1f3.jpg";
    for (const char* path : {"/closed", "/cutWithItsLength", "/text", "/short", "/empty", "/e404"})
        EXPECT_FALSE(platform::downloadFrame(d, url(path), frame)) << path;
    EXPECT_TRUE(entries(dir.path()).isEmpty()) << entries(dir.path()).join(" ").toStdString();
    EXPECT_TRUE(platform::downloadFrame(d, url("/good"), frame));
    EXPECT_EQ(readAll(frame), QByteArray::fromStdString(whole));
    EXPECT_EQ(entries(dir.path()), QStringList{"c127_0_0_1f3.jpg"});
    // Device answers are not pictures: the plain download keeps whatever arrived whole.
    EXPECT_TRUE(d.downloadFile(url("/closed"), target()));
    EXPECT_EQ(readAll(target()), QByteArray::fromStdString(half));
}

// While a frame is on its way, one hidden temporary file stands beside the frame's name.
TEST_F(DownloadTest, FrameFetchHoldsOneTemporaryFile) {
    Answer a{200, "never"};
    a.stall = true;
    server.set("/capture", a);
    std::atomic<bool> cancel{false};
    CurlDownloader d;
    d.setCancelFlag(&cancel);
    const QString frame = dir.path() + "/c127_0_0_1f0.jpg";
    std::thread fetch([&] { EXPECT_FALSE(platform::downloadFrame(d, url("/capture"), frame)); });
    QStringList during;
    for (int i = 0; i < 200 && during.isEmpty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        during = entries(dir.path());
    }
    cancel = true;
    fetch.join();
    ASSERT_EQ(during.size(), 1);
    const QRegularExpression oneLayer(
        QString("^\\.c127_0_0_1f0\\.jpg\\.part%1_\\d+$").arg(::getpid()));
    EXPECT_TRUE(oneLayer.match(during[0]).hasMatch()) << during[0].toStdString();
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

TEST(TemporaryName, IsHiddenBesideTheTargetAndNeverEndsLikeIt) {
    const std::string t = CurlDownloader::temporaryFileFor("/a/b/img/c1_2_3_4f5.jpg");
    EXPECT_EQ(t.rfind("/a/b/img/.c1_2_3_4f5.jpg.part", 0), 0u) << t;
    EXPECT_NE(t.substr(t.size() - 4), ".jpg");
    EXPECT_NE(t, CurlDownloader::temporaryFileFor("/a/b/img/c1_2_3_4f5.jpg"));
    EXPECT_TRUE(CurlDownloader::isTemporaryFile(t));
    EXPECT_FALSE(CurlDownloader::isTemporaryFile("/a/b/img/c1_2_3_4f5.jpg"));
    EXPECT_FALSE(CurlDownloader::isTemporaryFile("/a/b/img/.part12_3"));
    EXPECT_FALSE(CurlDownloader::isTemporaryFile("/a/b/img/c1f5.jpg.part12_3"));
    EXPECT_FALSE(CurlDownloader::isTemporaryFile("/a/b/img/.c1f5.jpg.part12_"));
    EXPECT_FALSE(CurlDownloader::isTemporaryFile("/a/b/img/.c1f5.jpg.part12_3x"));
}

// A process id that no running process has: a child that has ended and been waited for.
pid_t endedProcessId() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(TemporaryName, StaleOnesOfEndedProcessesAreRemovedAndNothingElse) {
    QTemporaryDir dir;
    const QString dead = QString::number(endedProcessId());
    const QString running = QString::number(::getppid());
    const QStringList stale = {
        ".c127_0_0_1f0.jpg.part" + dead + "_0",
        "..c127_0_0_1f1.jpg.part" + dead + "_0.part" + dead + "_1", // stacked, as once made
        ".c127_0_0_1f2.jpg.part" + QString::number(::getpid()) + "_7",
    };
    const QStringList kept = {
        ".c127_0_0_1f3.jpg.part" + running + "_0", // its fetch may still be running
        "c127_0_0_1f4.jpg",
        "c127_0_0_1f4.pgm",
        "c127_0_0_1f5.pgm.tmp" + dead + "_0",
        ".hidden",
        ".c127_0_0_1f6.jpg.part" + dead,
    };
    for (const QString& name : stale + kept) {
        QFile f(dir.path() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
        f.write("\xFF\xD8");
    }
    QDir(dir.path()).mkdir(".c127_0_0_1f7.jpg.part" + dead + "_0"); // not a file
    EXPECT_EQ(CurlDownloader::removeStaleTemporaryFiles(dir.path().toStdString()), 3);
    QStringList left = entries(dir.path());
    QStringList expected = kept;
    left.sort();
    expected.sort();
    EXPECT_EQ(left, expected);
    EXPECT_TRUE(QDir(dir.path() + "/.c127_0_0_1f7.jpg.part" + dead + "_0").exists());
    EXPECT_EQ(CurlDownloader::removeStaleTemporaryFiles(dir.path().toStdString() + "/none"), 0);
}

} // namespace
