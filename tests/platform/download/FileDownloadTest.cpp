// The transfer layer against the loopback server: ranges, refused ranges, failures by case.
#include "platform/download/FileDownload.h"
#include "platform/download/DownloadError.h"
#include "platform/download/Sha256.h"
#include "tests/platform/updates/LoopbackServer.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>

namespace kivo {
namespace {

std::string readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

DownloadError::Case failureOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const DownloadError& failure) {
        return failure.kind();
    }
    ADD_FAILURE() << "no DownloadError";
    return DownloadError::Case::network;
}

class FileDownloadTest : public ::testing::Test {
protected:
    FileDownloadTest() : part(std::filesystem::path(folder.path()) / "file.part")
    {
        for (int i = 0; i < 50000; ++i) {
            body += static_cast<char>('a' + i % 26);
        }
        server.serve("/file", body);
    }

    test::TemporaryFolder folder;
    std::filesystem::path part;
    std::string body;
    test::LoopbackServer server;
};

TEST_F(FileDownloadTest, APartialFileLongerThanTheServersIsFetchedAgainWhole)
{
    std::ofstream(part, std::ios::binary) << body << "extra";
    const auto outcome = FileDownload::into(server.url("/file"), part, {});
    EXPECT_TRUE(outcome.rangeIgnored);
    EXPECT_EQ(outcome.resumedFrom, 0u);
    EXPECT_EQ(readAll(part), body);
    EXPECT_EQ(server.ranges("/file"), (std::vector<std::string>{"bytes=50005-", ""}));
}

TEST_F(FileDownloadTest, ProgressCountsTheResumedBytes)
{
    std::ofstream(part, std::ios::binary) << body.substr(0, 20000);
    std::vector<FileDownload::Progress> seen;
    const auto outcome = FileDownload::into(server.url("/file"), part, [&](const auto& p) { seen.push_back(p); });
    EXPECT_EQ(outcome.resumedFrom, 20000u);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().resumedFrom, 20000u);
    EXPECT_EQ(seen.back().received, body.size());
    EXPECT_EQ(seen.back().total, body.size());
    EXPECT_EQ(readAll(part), body);
}

TEST_F(FileDownloadTest, FailuresAreTypedAndKeepThePartialFile)
{
    std::ofstream(part, std::ios::binary) << body.substr(0, 1000);
    try {
        FileDownload::into(server.url("/missing"), part, {});
        FAIL();
    } catch (const DownloadError& failure) {
        EXPECT_EQ(failure.kind(), DownloadError::Case::notFound);
        EXPECT_EQ(failure.httpStatus(), 404);
        EXPECT_EQ(std::string(failure.what()),
                  "Download of " + server.url("/missing") + " failed: the server has no such file (HTTP 404).");
    }
    EXPECT_EQ(readAll(part), body.substr(0, 1000)); // an error is no reason to start again
    server.serve("/cut", body, test::LoopbackServer::Options::cut(1000));
    // Resumed after the 1000 bytes, then cut after 1000 more: both kept.
    EXPECT_EQ(failureOf([&] { FileDownload::into(server.url("/cut"), part, {}); }), DownloadError::Case::truncated);
    EXPECT_EQ(readAll(part), body.substr(0, 2000));

    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(failureOf([&] { FileDownload::into(server.url("/file"), part, {}, stop.get_token()); }),
              DownloadError::Case::cancelled);
    EXPECT_EQ(failureOf([&] {
                  FileDownload::into(server.url("/file"), std::filesystem::path(folder.path()) / "no" / "x", {});
              }),
              DownloadError::Case::writeFailed);
    // Nothing listens on port 1 of the loopback address.
    EXPECT_EQ(failureOf([&] { FileDownload::into("http://127.0.0.1:1/file", part, {}); }),
              DownloadError::Case::network);
    EXPECT_EQ(failureOf([&] { FileDownload::into("file:///etc/passwd", part, {}); }), DownloadError::Case::network);
}

TEST_F(FileDownloadTest, AProxyFromTheEnvironmentCarriesTheTransfer)
{
    // The loopback server stands in for the proxy: it sees the whole address as the path.
    server.serve("http://models.invalid/file", body);
    const std::string proxy = server.url("");
    std::map<std::string, std::optional<std::string>> saved;
    for (const char* name : {"http_proxy", "no_proxy", "NO_PROXY"}) {
        const char* value = std::getenv(name);
        saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
        ::unsetenv(name);
    }
    ::setenv("http_proxy", proxy.c_str(), 1);
    const auto outcome = FileDownload::into("http://models.invalid/file", part, {});
    for (const auto& [name, value] : saved) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
    EXPECT_EQ(outcome.bytes, body.size());
    EXPECT_EQ(readAll(part), body);
}

TEST(Sha256Test, KnownDigests)
{
    EXPECT_EQ(Sha256::ofBytes("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    test::TemporaryFolder folder;
    const auto file = std::filesystem::path(folder.path()) / "abc";
    std::ofstream(file, std::ios::binary) << "abc";
    EXPECT_EQ(Sha256::ofFile(file), Sha256::ofBytes("abc"));
    EXPECT_THROW(Sha256::ofFile(file.string() + ".none"), std::runtime_error);
}

} // namespace
} // namespace kivo
