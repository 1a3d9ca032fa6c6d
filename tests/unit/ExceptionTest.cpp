#include "framework/Array.h"
#include "framework/Exception.h"
#include "support/FakePlatform.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

class MessageException : public CException {
public:
    explicit MessageException(LPCWSTR message, int* deletions = nullptr) : m_message(message), m_deletions(deletions) {}
    ~MessageException() override
    {
        if (m_deletions) ++*m_deletions;
    }
    BOOL GetErrorMessage(LPWSTR buffer, UINT capacity, PUINT helpContext = nullptr) const override
    {
        if (helpContext) *helpContext = 0;
        CopyMessage(m_message, buffer, capacity);
        return TRUE;
    }

private:
    CString m_message;
    int* m_deletions;
};

class SilentException : public CException {};

// Shared like the out-of-memory object: Delete must leave it alone.
class SharedException : public CException {
public:
    explicit SharedException(int* deletions) : CException(false), m_deletions(deletions) {}
    ~SharedException() override { ++*m_deletions; }

private:
    int* m_deletions;
};

TEST(CException, GetErrorMessageCutsToTheCapacityAndNeverWritesPastIt)
{
    std::wstring message;
    for (int i = 0; i < 600; ++i) message += static_cast<wchar_t>(L'a' + i % 26);
    const MessageException error(message.c_str());

    struct Case {
        UINT capacity;
        int expectedLength;   // -1: nothing may be written
    };
    for (const Case c : {Case{512, 511}, Case{1, 0}, Case{0, -1}, Case{700, 600}}) {
        std::vector<wchar_t> buffer(800, L'#');
        EXPECT_TRUE(error.GetErrorMessage(buffer.data(), c.capacity)) << "capacity " << c.capacity;
        if (c.expectedLength < 0) {
            EXPECT_EQ(L'#', buffer[0]) << "capacity 0 must leave the buffer alone";
            continue;
        }
        const size_t length = static_cast<size_t>(c.expectedLength);
        EXPECT_EQ(message.substr(0, length), std::wstring(buffer.data(), length)) << "capacity " << c.capacity;
        EXPECT_EQ(L'\0', buffer[length]) << "capacity " << c.capacity;
        EXPECT_EQ(L'#', buffer[length + 1]) << "capacity " << c.capacity;
    }
}

TEST(CException, WithoutAMessageGetErrorMessageFailsWithAnEmptyText)
{
    const SilentException error;
    wchar_t buffer[8] = {L'#', L'#'};
    UINT helpContext = 99;
    EXPECT_FALSE(error.GetErrorMessage(buffer, 8, &helpContext));
    EXPECT_EQ(L'\0', buffer[0]);
    EXPECT_EQ(0u, helpContext);
}

TEST(CException, ExceptionPtrDeletesExactlyOnce)
{
    int deletions = 0;
    try {
        throw static_cast<CException*>(new MessageException(L"first", &deletions));
    } catch (CException* e) {
        CExceptionPtr guard(e);
    }
    EXPECT_EQ(1, deletions);

    int replacedDeletions = 0;
    {
        CExceptionPtr guard(new MessageException(L"replaced", &replacedDeletions));
        guard.reset(new MessageException(L"second", &deletions));
        EXPECT_EQ(1, replacedDeletions);
        EXPECT_EQ(1, deletions);
    }
    EXPECT_EQ(1, replacedDeletions);
    EXPECT_EQ(2, deletions);
}

CException* CatchMemoryException()
{
    try {
        AfxThrowMemoryException();
    } catch (CException* e) {
        return e;
    }
    return nullptr;
}

TEST(CException, DeleteLeavesASharedObjectAlive)
{
    int deletions = 0;
    auto* shared = new SharedException(&deletions);
    shared->Delete();
    ASSERT_EQ(0, deletions);   // stop before touching a deleted object
    { CExceptionPtr guard(shared); }
    ASSERT_EQ(0, deletions);
    delete shared;
}

TEST(CMemoryException, TheSharedObjectSurvivesDelete)
{
    CException* first = CatchMemoryException();
    ASSERT_NE(nullptr, dynamic_cast<CMemoryException*>(first));
    first->Delete();
    { CExceptionPtr guard(first); }

    CException* second = CatchMemoryException();
    EXPECT_EQ(first, second);
    wchar_t message[64] = {};
    EXPECT_TRUE(second->GetErrorMessage(message, 64));
    EXPECT_STREQ(L"Out of memory.", message);
    second->Delete();
}

TEST(CMemoryException, AnArrayThatCannotGrowThrowsIt)
{
    CByteArray bytes;
    const auto impossible = static_cast<INT_PTR>(std::vector<BYTE>().max_size() - 1);
    try {
        bytes.SetSize(impossible);
        FAIL() << "an impossible allocation succeeded";
    } catch (CException* e) {
        CExceptionPtr guard(e);
        EXPECT_NE(nullptr, dynamic_cast<CMemoryException*>(e));
    }
    EXPECT_TRUE(bytes.IsEmpty());
}

TEST(CException, ReportErrorShowsTheMessageThroughThePlatform)
{
    FakePlatform fake;
    ScopedFakePlatform installed(fake);
    fake.QueueMessageBoxAnswer(IDRETRY);

    EXPECT_EQ(IDRETRY, MessageException(L"Disk full.").ReportError(MB_RETRYCANCEL | MB_ICONERROR));
    EXPECT_EQ(IDOK, MessageException(L"Plain.").ReportError());
    EXPECT_EQ(IDOK, SilentException().ReportError());

    const auto boxes = fake.MessageBoxes();
    ASSERT_EQ(3u, boxes.size());
    EXPECT_EQ(L"Disk full.", boxes[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_RETRYCANCEL | MB_ICONERROR), boxes[0].type);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes[1].type);
    EXPECT_EQ(L"An unsupported operation was attempted.", boxes[2].text);
    for (const auto& box : boxes) {
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_EQ(AfxGetAppName(), box.caption);
    }
}

TEST(CException, ReportErrorShowsALongMessageWhole)
{
    FakePlatform fake;
    ScopedFakePlatform installed(fake);
    const std::wstring message = L"Can not download file. File name: " + std::wstring(600, L'x') + L".deploy";
    MessageException(message.c_str()).ReportError();
    ASSERT_EQ(1u, fake.MessageBoxes().size());
    EXPECT_EQ(message, fake.MessageBoxes()[0].text);
}

TEST(ScopedFakePlatform, RestoresThePreviousPlatformWhenNested)
{
    IPlatform* const system = &Platform();
    FakePlatform outer, inner;
    {
        ScopedFakePlatform installOuter(outer);
        {
            ScopedFakePlatform installInner(inner);
            EXPECT_EQ(&inner, &Platform());
        }
        EXPECT_EQ(&outer, &Platform());
    }
    EXPECT_EQ(system, &Platform());
}

}  // namespace
