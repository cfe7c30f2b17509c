// The fault seam of the operating-system layer.
//
// Disk full, a failed write or close, a read error in the middle of a file,
// out of memory: failures that no test can make the system produce on
// demand. Test builds compile os_posix.cpp / os_win32.cpp a second time
// with ZRK_FAULTS defined, together with faults.cpp, into objects that only
// the test executable links; there every hooked operation asks the seam
// first and, when a fault is due, fails the way the system would, with the
// platform's own error code (so the reported texts are the real ones). The
// programs and tools are built without ZRK_FAULTS and contain none of this.
//
// Hooked operations: zrkos::Open, Read, Write, Close (the handle is closed
// all the same), RenameFile, MakeDir, and Realloc (every attempt of ZrkAlloc
// and ZrkRealloc, retries included).
//
// Faults are per thread and per operation: a scope counts the calls of its
// operation on the thread that armed it, from the moment it was armed.
#pragma once

#include <cstddef>

namespace zrkos {

enum class FaultOp : int { Open, Read, Write, Close, Rename, MakeDir, Alloc, Count };

// The system errors a fault gives, as the platform numbers them: POSIX
// errno ENOSPC, EACCES, EIO, ENOMEM; Win32 ERROR_DISK_FULL,
// ERROR_ACCESS_DENIED, ERROR_READ_FAULT or ERROR_WRITE_FAULT,
// ERROR_NOT_ENOUGH_MEMORY.
enum class FaultError : int { DiskFull, AccessDenied, IoError, NoMemory };

// Arms a fault for as long as it exists: the NTH call of OP from now on
// (1: the next one) and the COUNT - 1 calls after it fail with ERROR
// (kEvery: every call from the NTH on). Scopes of one operation nest; the
// innermost one decides.
class CFaultScope {
public:
    static constexpr int kEvery = -1;

    CFaultScope(FaultOp op, int nth, FaultError error, int count = 1);
    ~CFaultScope();
    CFaultScope(const CFaultScope&) = delete;
    CFaultScope& operator=(const CFaultScope&) = delete;

    // Alloc only: requests for fewer than BYTES bytes pass uncounted, so
    // that a test can aim at the large buffers of the code under test.
    void SetMinimumSize(size_t bytes) { m_minSize = bytes; }

    // Calls of the operation counted since the scope was armed, and how
    // many of them it failed.
    int Calls() const { return m_calls; }
    int Fired() const { return m_fired; }

    // The platform error for the next call of the operation (SIZE bytes
    // for Alloc), or 0.
    int Next(size_t size);

private:
    FaultOp m_op;
    int m_nth;
    FaultError m_error;
    int m_count;
    size_t m_minSize = 0;
    int m_calls = 0;
    int m_fired = 0;
    CFaultScope* m_outer;
};

#ifdef ZRK_FAULTS
// The error the next call of OP (for SIZE bytes) must fail with, 0 when it
// runs normally.
int FaultDue(FaultOp op, size_t size);
// ERROR, met by OP, in the platform's numbering (os_posix.cpp,
// os_win32.cpp).
int PlatformError(FaultError error, FaultOp op);
#define ZRK_FAULT(op) ::zrkos::FaultDue(::zrkos::FaultOp::op, 0)
#define ZRK_FAULT_ALLOC(size) ::zrkos::FaultDue(::zrkos::FaultOp::Alloc, size)
#else
#define ZRK_FAULT(op) 0
#define ZRK_FAULT_ALLOC(size) 0
#endif

}  // namespace zrkos
