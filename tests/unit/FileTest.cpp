#include "framework/File.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> Pattern(size_t size)
{
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

std::wstring MessageOf(const CException& error)
{
    wchar_t buffer[1024] = {};
    EXPECT_TRUE(error.GetErrorMessage(buffer, 1024));
    return buffer;
}

// Runs the action and returns the CFileException it must throw (cause genericException and
// no file name when it throws nothing or something else).
CFileException CatchFileException(const std::function<void()>& action)
{
    try {
        action();
    } catch (CException* e) {
        CExceptionPtr guard(e);
        if (const auto* fileError = dynamic_cast<CFileException*>(e)) return *fileError;
        ADD_FAILURE() << "not a CFileException";
        return CFileException(CFileException::genericException, 0, L"");
    }
    ADD_FAILURE() << "nothing was thrown";
    return CFileException(CFileException::genericException, 0, L"");
}

TEST(CFile, WritesAndReadsBackInChunks)
{
    TemporaryFolder folder;
    const std::wstring path = folder.File(L"data.bin");
    const std::vector<BYTE> data = Pattern(100000);
    {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
        file.Write(data.data(), 40000);
        file.Write(data.data() + 40000, 60000);
        EXPECT_EQ(data.size(), file.GetLength());
    }

    CFile file(path.c_str(), CFile::modeRead | CFile::shareDenyWrite);
    EXPECT_EQ(data.size(), file.GetLength());
    std::vector<BYTE> read;
    BYTE chunk[4096];
    while (const UINT count = file.Read(chunk, sizeof(chunk))) read.insert(read.end(), chunk, chunk + count);
    EXPECT_TRUE(read == data) << "read " << read.size() << " bytes";
    EXPECT_EQ(0u, file.Read(chunk, sizeof(chunk)));
    file.Close();
    file.Close();   // closing twice is harmless
}

TEST(CFile, CreateTruncatesUnlessTold)
{
    TemporaryFolder folder;
    const std::wstring path = folder.File(L"kept.bin");
    const char text[] = "twelve bytes";
    {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        file.Write(text, 12);
    }
    {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite);
        EXPECT_EQ(12u, file.GetLength());
    }
    CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
    EXPECT_EQ(0u, file.GetLength());
}

TEST(CFile, ClosesItsHandleWhenDestroyed)
{
    TemporaryFolder folder;
    const std::wstring path = folder.File(L"exclusive.bin");
    { CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive); }
    CFile again;
    EXPECT_TRUE(again.Open(path.c_str(), CFile::modeRead | CFile::shareExclusive));
}

TEST(CFile, FailuresThrowCFileExceptionWithCauseAndFileName)
{
    TemporaryFolder folder;
    const std::wstring missing = folder.File(L"missing.bin");
    const std::wstring inMissingFolder = folder.File(L"no such folder\\file.bin");
    const std::wstring locked = folder.File(L"locked.bin");
    CFile holder(locked.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);

    struct Case {
        const wchar_t* what;
        std::wstring path;
        UINT flags;
        int cause;
        LONG osError;
        const wchar_t* messageAfterName;
    };
    const Case cases[] = {
        {L"missing file", missing, CFile::modeRead, CFileException::fileNotFound, ERROR_FILE_NOT_FOUND,
         L" was not found."},
        {L"missing folder", inMissingFolder, CFile::modeCreate | CFile::modeWrite, CFileException::badPath,
         ERROR_PATH_NOT_FOUND, L" contains an incorrect path."},
        {L"held exclusively", locked, CFile::modeRead, CFileException::sharingViolation, ERROR_SHARING_VIOLATION,
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CFileException error = CatchFileException([&] { CFile file(c.path.c_str(), c.flags); });
        EXPECT_EQ(c.cause, error.m_cause);
        EXPECT_EQ(c.osError, error.m_lOsError);
        EXPECT_EQ(CString(c.path.c_str()), error.m_strFileName);
        const std::wstring message = MessageOf(error);
        EXPECT_NE(std::wstring::npos, message.find(c.path)) << message;
        if (c.messageAfterName) {
            EXPECT_EQ(0u, message.find(c.path + c.messageAfterName)) << message;
        }

        CFile file;
        CFileException reported(CFileException::none, 0, L"");
        EXPECT_FALSE(file.Open(c.path.c_str(), c.flags, &reported));
        EXPECT_EQ(c.cause, reported.m_cause);
    }
}

TEST(CFile, WritingToAFileOpenForReadingThrowsAccessDenied)
{
    TemporaryFolder folder;
    const std::wstring path = folder.File(L"read-only.bin");
    { CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite); }
    CFile file(path.c_str(), CFile::modeRead);
    const CFileException error = CatchFileException([&] { file.Write("x", 1); });
    EXPECT_EQ(CFileException::accessDenied, error.m_cause);
    EXPECT_EQ(CString(path.c_str()), error.m_strFileName);
}

TEST(CFileException, MessageNamesTheFileForEachCause)
{
    const struct {
        int cause;
        const wchar_t* fileName;
        const wchar_t* expected;
    } cases[] = {
        {CFileException::fileNotFound, L"C:\\a.txt", L"C:\\a.txt was not found."},
        {CFileException::badPath, L"C:\\a.txt", L"C:\\a.txt contains an incorrect path."},
        {CFileException::accessDenied, L"C:\\a.txt", L"Access to C:\\a.txt was denied."},
        {CFileException::sharingViolation, L"C:\\a.txt", L"Sharing violation while accessing C:\\a.txt."},
        {CFileException::diskFull, L"C:\\a.txt", L"There is not enough space on the disk for C:\\a.txt."},
        {CFileException::hardIO, L"C:\\a.txt", L"An error occurred while accessing C:\\a.txt."},
        {CFileException::fileNotFound, L"", L"an unnamed file was not found."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, MessageOf(CFileException(c.cause, 0, c.fileName))) << "cause " << c.cause;

    // With an OS error the system's own explanation follows.
    const std::wstring withSystemText = MessageOf(CFileException(CFileException::fileNotFound, ERROR_FILE_NOT_FOUND, L"x"));
    EXPECT_EQ(0u, withSystemText.find(L"x was not found. ")) << withSystemText;
    EXPECT_GT(withSystemText.size(), std::wstring(L"x was not found. ").size());
}

}  // namespace
