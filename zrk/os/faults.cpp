// The fault seam (see faults.h). Compiled only into the test build's copy
// of the operating-system layer.
#include "zrk/os/faults.h"

namespace zrkos {

namespace {

// The innermost armed scope of each operation on this thread.
thread_local CFaultScope* t_armed[static_cast<int>(FaultOp::Count)] = {};

}  // namespace

CFaultScope::CFaultScope(FaultOp op, int nth, FaultError error, int count)
    : m_op(op), m_nth(nth), m_error(error), m_count(count), m_outer(t_armed[static_cast<int>(op)]) {
    t_armed[static_cast<int>(op)] = this;
}

CFaultScope::~CFaultScope() { t_armed[static_cast<int>(m_op)] = m_outer; }

int CFaultScope::Next(size_t size) {
    if (size < m_minSize) return 0;
    ++m_calls;
    if (m_calls < m_nth || (m_count != kEvery && m_calls >= m_nth + m_count)) return 0;
    ++m_fired;
    return PlatformError(m_error, m_op);
}

int FaultDue(FaultOp op, size_t size) {
    CFaultScope* scope = t_armed[static_cast<int>(op)];
    return scope ? scope->Next(size) : 0;
}

}  // namespace zrkos
