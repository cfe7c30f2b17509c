// Reporting: every error, warning, information and trace message of the
// framework goes through these functions to the application object (the log
// and the screen), or to the report scope active on the calling thread.
//
// Message ids are always given in the interactive program's numbering; the
// console program maps them to its own resource ids.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

#include "zrk/cstring.h"
#include "zrk/msgid.h"
#include "zrk/result.h"
#include "zrk_msgids.h"

enum ZrkKind : int {
    ZRK_KIND_ERROR = 1,
    ZRK_KIND_WARNING = 2,
    ZRK_KIND_INFO = 4,
    ZRK_KIND_PROGRESS = 8,
    ZRK_KIND_TRACE = 16,
    ZRK_KIND_QVTLOG = 0x1E0,  // 32..256: the log-only group
};

// Each returns CODE unless CODE is 0, in which case the handler's result
// (for kinds other than error and warning: the cancellation poll).
//
// ZrkErrorId and ZrkWarningId take a named message id (MSG_... from
// "zrk_msgids.h") and its arguments, checked against the message's signature
// at compile time.
template <char... K, class... A>
int ZrkErrorId(int code, ZrkMsg<K...> msg, const A&... args);
template <char... K, class... A>
int ZrkWarningId(ZrkMsg<K...> msg, const A&... args);
int ZrkError(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int ZrkTrace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
int ZrkInfo(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
int ZrkReport(int kind, int code, const char* caption, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));
// Dispatch of an already formatted message.
int ZrkReportText(int kind, int code, const char* caption, const char* message);

// The message id of the report being dispatched on this thread (0 when the
// report was made from a format, not by id). Reporters may read it.
int ZrkReportingMessageId();

// Text of a message id (empty, and an internal error, when missing).
CString ZrkMessageText(int msgId);
// Text of a result code; the first character upper-cased when CAPITALISE,
// lower-cased otherwise.
CString ZrkCodeText(int code, bool capitalise);

// Receives the reports of a report scope.
class CReporter {
public:
    virtual ~CReporter() = default;
    virtual int OnReport(int kind, int code, const char* caption, const char* message) = 0;
};

// While it exists, takes over the reports of the thread that created it. A
// scope without reporter drops them (their codes are still returned).
// Scopes nest: the innermost one receives.
class CReportScope {
public:
    explicit CReportScope(CReporter* reporter = nullptr);
    ~CReportScope();
    CReportScope(const CReportScope&) = delete;
    CReportScope& operator=(const CReportScope&) = delete;
    CReporter* Reporter() const { return m_reporter; }
    static CReportScope* Current();

private:
    CReporter* m_reporter;
    CReportScope* m_outer;
};

// A reporter that records what it receives (tests use it to assert the
// message a failure produced).
class CRecordingReporter : public CReporter {
public:
    struct Entry {
        int kind;
        int code;
        int msgId;  // the message id reported by id, 0 for a format
        std::string text;
    };
    int OnReport(int kind, int code, const char* caption, const char* message) override;
    std::vector<Entry> entries;
    // Number of entries of the given kind mask.
    int Count(int kindMask = -1) const;
    // Text of the last entry, or "" when none.
    std::string LastText() const;
};

// A report scope with its own recorder.
class CRecordingScope : public CRecordingReporter {
public:
    CRecordingScope() : m_scope(this) {}

private:
    CReportScope m_scope;
};

// ---- implementation of the typed reporting functions ----------------------

// The untyped entries behind them: the arguments are already converted to
// the types the message's conversions read.
int ZrkReportIdRaw(int kind, int code, int msgId, ...);
int ZrkReportIdV(int kind, int code, int msgId, va_list args);

template <char... K, class... A>
int ZrkErrorId(int code, ZrkMsg<K...> msg, const A&... args) {
    ZRK_CHECK_MESSAGE_ARGS(ZrkMsg<K...>, A);
    return ZrkReportIdRaw(ZRK_KIND_ERROR, code, msg.id, ZRK_PASS_MESSAGE_ARGS(K, args));
}

template <char... K, class... A>
int ZrkWarningId(ZrkMsg<K...> msg, const A&... args) {
    ZRK_CHECK_MESSAGE_ARGS(ZrkMsg<K...>, A);
    return ZrkReportIdRaw(ZRK_KIND_WARNING, 0, msg.id, ZRK_PASS_MESSAGE_ARGS(K, args));
}
