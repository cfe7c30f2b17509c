// Result codes and the "report here, pass up there" idiom.
//
// Every operation returns an int: 0 is success, anything else an error.
// An error is reported once, where it is detected, and then travels up
// unchanged; a caller that runs several steps keeps the first non-zero
// result.
#pragma once

enum ZrkResult : int {
    ZRK_OK = 0,
    ZRK_CANCEL = 2,          // cancelled by the user; never a final message
    ZRK_BACK = 3,            // wizard navigation: previous page
    ZRK_SKIP = 4,            // skip an archive member
    ZRK_NOMEM = -51,
    ZRK_FAIL = -52,          // generic failure
    ZRK_PRIVILEGE = -53,     // privilege or mismatch
    ZRK_BADARG = -54,        // invalid argument
    ZRK_NOBUFFER = -55,      // text file opened without a buffer
    ZRK_ACCESS = -56,        // access denied or sharing violation on open
    ZRK_NOTFOUND = -57,      // file or path not found on open
    ZRK_EOF = -58,           // end of file
    ZRK_BADDATA = -59,       // damaged data: travels up unreported; the layer
                             // that gives it meaning reports it
    ZRK_UNSUPPORTED = -63,   // operation not supported
    ZRK_BADFORMAT = -64,     // data format not supported
    ZRK_WINERR = -496,       // a Windows call failed
    ZRK_DESCERR = -498,      // description or plan error
    ZRK_ABANDON = -2003,     // abandoned by the user; never a final message
    ZRK_BADTIME = -2010,     // invalid date, time or duration
    ZRK_INTERNAL = 16384,    // internal error or truncation
};

// Return the result of EXPR at once when it is not 0 (it was reported where
// it arose).
#define ZRK_TRY(expr)                                                          \
    do {                                                                       \
        int zrk_try_r_ = (expr);                                               \
        if (zrk_try_r_ != 0) return zrk_try_r_;                                \
    } while (0)

// Run EXPR and keep its result in RES unless RES already holds an error:
// the first failure wins, later steps still run.
#define ZRK_KEEP(res, expr)                                                    \
    do {                                                                       \
        int zrk_keep_r_ = (expr);                                              \
        if ((res) == 0) (res) = zrk_keep_r_;                                   \
    } while (0)

// The internal-error facility: reports (when "Verbose" is set) the source
// file and line and yields ZRK_INTERNAL.
#define ZRK_INTERNAL_ERROR() ZrkInternalError(__FILE__, __LINE__)

int ZrkInternalError(const char* file, int line);
// "Verbose" is read once, at the first internal error; this makes the next
// internal error read it again (tests, or after switching settings files).
void ZrkForgetVerboseSetting();
