// Typed message ids: the arguments passed with a message must fit its
// signature, or the call does not compile. These assertions pin what the
// check accepts and refuses; the reporting functions use the same check.
#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>

#include "zrk/cstring.h"
#include "zrk/report.h"

namespace {

template <auto& Msg, class... A>
constexpr bool kFits = zrkmsg::Fits<std::remove_cv_t<std::remove_reference_t<decltype(Msg)>>, A...>::Kinds();

// "%s": texts, including a CString through its conversion; never a number.
static_assert(kFits<MSG_ARCHIVE_DAMAGED, const char*>);
static_assert(kFits<MSG_ARCHIVE_DAMAGED, char[5]>);
static_assert(kFits<MSG_ARCHIVE_DAMAGED, CString>);
static_assert(!kFits<MSG_ARCHIVE_DAMAGED, int>);
static_assert(!kFits<MSG_ARCHIVE_DAMAGED, char>);
// Count: one too few or one too many.
static_assert(!kFits<MSG_ARCHIVE_DAMAGED>);
static_assert(!kFits<MSG_ARCHIVE_DAMAGED, const char*, int>);
// "%d": integers no wider than int (a 64-bit value would read garbage); no
// text, no floating point, no bool.
static_assert(kFits<MSG_CODE_ERROR_NUMBER, int>);
static_assert(kFits<MSG_CODE_ERROR_NUMBER, short>);
static_assert(kFits<MSG_CODE_ERROR_NUMBER, ZrkResult>);
static_assert(!kFits<MSG_CODE_ERROR_NUMBER, int64_t>);
static_assert(!kFits<MSG_CODE_ERROR_NUMBER, double>);
static_assert(!kFits<MSG_CODE_ERROR_NUMBER, bool>);
static_assert(!kFits<MSG_CODE_ERROR_NUMBER, const char*>);
// "%u": unsigned 32-bit; "%s %d %s" in order.
static_assert(kFits<MSG_DDE_NOT_INITIALISED, uint32_t>);
static_assert(!kFits<MSG_DDE_NOT_INITIALISED, uint64_t>);
static_assert(kFits<MSG_WRITE_FAILED, CString, int, const char*>);
static_assert(!kFits<MSG_WRITE_FAILED, int, const char*, const char*>);
// No arguments.
static_assert(kFits<MSG_OUT_OF_MEMORY>);
static_assert(!kFits<MSG_OUT_OF_MEMORY, int>);

TEST(MessageIds, ArgumentsReachTheTextConverted) {
    // A short and a CString pass as int and text; the id is the message's.
    CRecordingScope scope;
    const CString path("C:\\x.dat");
    EXPECT_EQ(ZrkErrorId(ZRK_FAIL, MSG_WRITE_FAILED, path, static_cast<short>(28), "No space left on device"),
              ZRK_FAIL);
    ASSERT_EQ(scope.entries.size(), 1u);
    EXPECT_EQ(scope.entries[0].msgId, MSG_WRITE_FAILED);
    EXPECT_EQ(scope.entries[0].text, "Unable to write to \"C:\\x.dat\" (error 28: No space left on device)");
}

}  // namespace
