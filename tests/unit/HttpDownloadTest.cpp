// The download routines against the local server, with the fake platform taking the pauses
// and answering the Retry/Cancel box.
#include "services/HttpDownload.h"

#include "framework/File.h"
#include "services/RunCancellation.h"
#include "support/FakePlatform.h"
#include "support/HttpReading.h"
#include "support/LoopbackHttpServer.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Response = LoopbackHttpServer::Response;
using Progress = std::vector<std::pair<uint64_t, uint64_t>>;

const HWND kOwner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x5A5A));
const std::vector<DWORD> kFirstRunPauses = {5000, 6000, 7000, 8000, 9000};
const std::vector<DWORD> kLaterRunPauses = {6000, 7000, 8000, 9000};

void RecordProgress(uint64_t total, uint64_t done, void* param)
{
    static_cast<Progress*>(param)->emplace_back(total, done);
}

void CancelRunOnProgress(uint64_t, uint64_t, void*) { CancelRun(); }

Response Body(std::string body)
{
    Response response;
    response.headers = {{"Content-Type", "application/octet-stream"}, {"Cache-Control", "no-store"}};
    response.body = std::move(body);
    return response;
}

std::string Contents(const CByteArray& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.GetData()), static_cast<size_t>(buffer.GetSize()));
}

std::string FileContents(const std::wstring& path)
{
    CFile file(path.c_str(), CFile::modeRead);
    std::string bytes(static_cast<size_t>(file.GetLength()), '\0');
    if (!bytes.empty()) file.Read(&bytes[0], static_cast<UINT>(bytes.size()));
    return bytes;
}

void WriteTextFile(const std::wstring& path, const std::string& bytes)
{
    CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
    file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class HttpDownloadTest : public ::testing::Test {
protected:
    void TearDown() override { ResetRunCancellationForTesting(); }

    bool Download(const std::wstring& url, CByteArray& buffer, Progress* progress = nullptr)
    {
        return DownloadToBuffer(session, url.c_str(), buffer, progress ? RecordProgress : nullptr, progress, kOwner);
    }

    // A URL whose every attempt fails within milliseconds: nothing listens on its port.
    static std::wstring UnreachableUrl()
    {
        return L"http://127.0.0.1:" + std::to_wstring(LoopbackHttpServer::ClosedPort()) + L"/setup.exe";
    }

    FakePlatform platform;
    ScopedFakePlatform installed{platform};
    LoopbackHttpServer server;
    CInternetSession session{L"Fetchwright unit tests", 1, INTERNET_OPEN_TYPE_DIRECT};
};

TEST_F(HttpDownloadTest, UnreachableServerPausesFiveTimesThenAsksAndCancelReturnsFalse)
{
    platform.QueueMessageBoxAnswer(IDCANCEL);
    CByteArray buffer;
    EXPECT_FALSE(Download(UnreachableUrl(), buffer));

    EXPECT_EQ(kFirstRunPauses, platform.Sleeps());
    const auto boxes = platform.MessageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Can not download files required to install Kelvara Lantern Rise! Please check your Internet "
              L"connection, as well as make you sure that your firewall, antivirus or other security software "
              L"doesn't block Kelvara Lantern Rise Installer from accessing Internet, and try again.",
              boxes[0].text);
    EXPECT_EQ(L"Kelvara Lantern Rise Installer", boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_RETRYCANCEL | MB_ICONERROR), boxes[0].type);
    EXPECT_EQ(kOwner, boxes[0].owner);
}

TEST_F(HttpDownloadTest, RetryGivesFourMoreAttemptsThenAsksAgain)
{
    platform.QueueMessageBoxAnswer(IDRETRY);
    platform.QueueMessageBoxAnswer(IDCANCEL);
    CByteArray buffer;
    EXPECT_FALSE(Download(UnreachableUrl(), buffer));

    std::vector<DWORD> expected = kFirstRunPauses;
    expected.insert(expected.end(), kLaterRunPauses.begin(), kLaterRunPauses.end());
    EXPECT_EQ(expected, platform.Sleeps());
    EXPECT_EQ(2u, platform.MessageBoxes().size());
}

TEST_F(HttpDownloadTest, CancelledRunStartsNoAttemptAndAsksNothing)
{
    server.Respond("/setup.exe", Body("MZ"));
    CancelRun();
    CByteArray buffer;
    EXPECT_FALSE(Download(server.Url("/setup.exe"), buffer));

    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(platform.Sleeps().empty());
    EXPECT_TRUE(platform.MessageBoxes().empty());
}

TEST_F(HttpDownloadTest, CancelDuringAFailingAttemptEndsWithoutPauseOrBox)
{
    Response cut = Body(BinaryPattern(200000));
    cut.dropAfterBodyBytes = 100000;
    server.Respond("/setup.exe", cut);
    CByteArray buffer;
    EXPECT_FALSE(DownloadToBuffer(session, server.Url("/setup.exe").c_str(), buffer, CancelRunOnProgress, nullptr,
                                  kOwner));

    EXPECT_EQ(1u, server.Requests().size());
    EXPECT_TRUE(platform.Sleeps().empty());
    EXPECT_TRUE(platform.MessageBoxes().empty());
}

TEST_F(HttpDownloadTest, BodyLargerThanOneReadArrivesWholeWithProgress)
{
    const std::string body = BinaryPattern(300001);
    server.Respond("/software/big.bin", Body(body));
    CByteArray buffer;
    Progress progress;
    ASSERT_TRUE(Download(server.Url("/software/big.bin"), buffer, &progress));

    EXPECT_TRUE(Contents(buffer) == body) << "received " << buffer.GetSize() << " bytes";
    ASSERT_GE(progress.size(), 2u);
    for (size_t i = 0; i < progress.size(); ++i) {
        EXPECT_EQ(body.size(), progress[i].first);
        if (i > 0) {
            EXPECT_GT(progress[i].second, progress[i - 1].second);
        }
    }
    EXPECT_EQ(body.size(), progress.back().second);
    EXPECT_TRUE(platform.Sleeps().empty());

    const auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/software/big.bin", requests[0].path);
}

TEST_F(HttpDownloadTest, BodyWithoutContentLengthIsReadToTheEndWithoutProgress)
{
    Response response = Body(BinaryPattern(150000));
    response.sendContentLength = false;
    server.Respond("/manifest", response);
    CByteArray buffer;
    Progress progress;
    ASSERT_TRUE(Download(server.Url("/manifest"), buffer, &progress));

    EXPECT_TRUE(Contents(buffer) == response.body) << "received " << buffer.GetSize() << " bytes";
    EXPECT_TRUE(progress.empty());
}

TEST_F(HttpDownloadTest, BodyOfExactlyOneSmallReadReportsProgressOnce)
{
    const std::string body = BinaryPattern(4096);
    server.Respond("/page.bin", Body(body));
    CByteArray buffer;
    Progress progress;
    ASSERT_TRUE(Download(server.Url("/page.bin"), buffer, &progress));

    EXPECT_TRUE(Contents(buffer) == body);
    EXPECT_EQ((Progress{{4096, 4096}}), progress);
}

TEST_F(HttpDownloadTest, EmptyBodyGivesAnEmptyBufferAndAnEmptyFile)
{
    server.Respond("/empty.txt", Body(""));
    CByteArray buffer;
    buffer.SetSize(10);   // whatever the caller held is replaced
    Progress progress;
    ASSERT_TRUE(Download(server.Url("/empty.txt"), buffer, &progress));
    EXPECT_EQ(0, buffer.GetSize());
    EXPECT_TRUE(progress.empty());

    TemporaryFolder folder;
    const std::wstring path = folder.File(L"empty.txt");
    ASSERT_TRUE(DownloadToFile(session, server.Url("/empty.txt").c_str(), path.c_str(), nullptr, nullptr, kOwner));
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(0u, GetFileLength(path.c_str()));
}

// Error pages are not content: the attempt fails and the next one gets the real body.
TEST_F(HttpDownloadTest, ErrorStatusIsRetriedAndTheSuccessReturned)
{
    for (const int status : {404, 500}) {
        SCOPED_TRACE(status);
        const std::string path = "/app" + std::to_string(status) + ".manifest";
        Response failure = Body("<html>Not here</html>");
        failure.status = status;
        server.RespondOnce(path, failure);
        server.Respond(path, Body("<assembly/>"));

        CByteArray buffer;
        ASSERT_TRUE(Download(server.Url(path), buffer));
        EXPECT_EQ("<assembly/>", Contents(buffer));
    }
    EXPECT_EQ(4u, server.Requests().size());
    EXPECT_EQ((std::vector<DWORD>{5000, 5000}), platform.Sleeps());
    EXPECT_TRUE(platform.MessageBoxes().empty());
}

TEST_F(HttpDownloadTest, BodyCutShortIsRetriedFromOffsetZero)
{
    const std::string body = BinaryPattern(200000);
    Response cut = Body(std::string(body.size(), 'X'));   // a first attempt with other bytes shows misplacement
    cut.dropAfterBodyBytes = 130000;
    server.RespondOnce("/setup.exe", cut);
    server.Respond("/setup.exe", Body(body));
    CByteArray buffer;
    Progress progress;
    ASSERT_TRUE(Download(server.Url("/setup.exe"), buffer, &progress));

    EXPECT_TRUE(Contents(buffer) == body) << "received " << buffer.GetSize() << " bytes";
    EXPECT_EQ(2u, server.Requests().size());
    EXPECT_EQ(std::vector<DWORD>{5000}, platform.Sleeps());
    // The running total starts again with the second attempt.
    ASSERT_FALSE(progress.empty());
    size_t restarts = 0;
    for (size_t i = 1; i < progress.size(); ++i)
        if (progress[i].second <= progress[i - 1].second) ++restarts;
    EXPECT_EQ(1u, restarts);
    EXPECT_EQ((std::pair<uint64_t, uint64_t>(body.size(), body.size())), progress.back());
}

TEST_F(HttpDownloadTest, BodyAlwaysCutShortIsAFailedDownload)
{
    Response cut = Body(BinaryPattern(50000));
    cut.dropAfterBodyBytes = 1000;
    server.Respond("/setup.exe", cut);
    CByteArray buffer;
    EXPECT_FALSE(Download(server.Url("/setup.exe"), buffer));

    EXPECT_EQ(5u, server.Requests().size());
    EXPECT_EQ(kFirstRunPauses, platform.Sleeps());
    EXPECT_EQ(1u, platform.MessageBoxes().size());
}

TEST_F(HttpDownloadTest, DownloadToFileReplacesTheFileWithTheBody)
{
    const std::string body = BinaryPattern(70000);
    server.Respond("/LanternRise.exe.deploy", Body(body));
    TemporaryFolder folder;
    const std::wstring path = folder.File(L"LanternRise.exe.deploy");
    WriteTextFile(path, std::string(100000, 'o'));   // longer than the body: must be truncated

    ASSERT_TRUE(DownloadToFile(session, server.Url("/LanternRise.exe.deploy").c_str(), path.c_str(), nullptr,
                               nullptr, kOwner));
    EXPECT_TRUE(FileContents(path) == body);
    EXPECT_EQ(body.size(), GetFileLength(path.c_str()));
}

TEST_F(HttpDownloadTest, FailedDownloadToFileLeavesThePathUntouched)
{
    TemporaryFolder folder;
    const std::wstring existing = folder.File(L"existing.bin");
    const std::wstring missing = folder.File(L"missing.bin");
    WriteTextFile(existing, "earlier contents");

    EXPECT_FALSE(DownloadToFile(session, UnreachableUrl().c_str(), existing.c_str(), nullptr, nullptr, kOwner));
    EXPECT_FALSE(DownloadToFile(session, UnreachableUrl().c_str(), missing.c_str(), nullptr, nullptr, kOwner));
    EXPECT_EQ("earlier contents", FileContents(existing));
    EXPECT_FALSE(Exists(missing));
}

TEST_F(HttpDownloadTest, FileErrorsEscapeAsCFileException)
{
    server.Respond("/readme.txt", Body("hello"));
    TemporaryFolder folder;
    const std::wstring inMissingFolder = folder.File(L"no such folder\\readme.txt");
    const std::wstring missingFile = folder.File(L"missing.bin");

    const auto expectFileException = [](const char* what, auto action) {
        SCOPED_TRACE(what);
        try {
            action();
            ADD_FAILURE() << "nothing was thrown";
        } catch (CException* e) {
            CExceptionPtr guard(e);
            EXPECT_NE(nullptr, dynamic_cast<CFileException*>(e));
        }
    };
    expectFileException("write", [&] {
        DownloadToFile(session, server.Url("/readme.txt").c_str(), inMissingFolder.c_str(), nullptr, nullptr, kOwner);
    });
    expectFileException("length", [&] { GetFileLength(missingFile.c_str()); });
}

}  // namespace
