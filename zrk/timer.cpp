// The process-wide timer list.
#include "zrk/timer.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "zrk/app.h"
#include "zrk/os/os.h"

namespace {

std::vector<CTimer*>& Timers() {
    static std::vector<CTimer*> timers;
    return timers;
}

void OnSystemTimer() { CTimer::Tick(); }

}  // namespace

CTimer::CTimer(long periodMs) : m_period(periodMs) {}

CTimer::~CTimer() { Stop(); }

int64_t CTimer::NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int CTimer::Start() {
    if (CApp* app = ZrkApp(); app && app->NoTimer()) return 0;
    m_due = NowMs() + m_period;
    if (!m_running) {
        Timers().push_back(this);
        m_running = true;
    }
    return Reschedule();
}

void CTimer::Stop() {
    if (!m_running) return;
    auto& timers = Timers();
    timers.erase(std::remove(timers.begin(), timers.end(), this), timers.end());
    m_running = false;
    Reschedule();
}

long CTimer::DelayUntilDue(int64_t nowMs) const {
    int64_t d = m_due - nowMs;
    return d > 0 ? static_cast<long>(d) : 0;
}

void CTimer::Offer(int64_t nowMs) {
    if (nowMs < m_due) return;
    m_due = nowMs + m_period;
    OnElapsed();
}

int CTimer::Reschedule() {
    auto& timers = Timers();
    if (timers.empty()) return zrkos::TimerArm(-1, OnSystemTimer);
    int64_t now = NowMs();
    long delay = timers.front()->DelayUntilDue(now);
    for (CTimer* t : timers) delay = std::min(delay, t->DelayUntilDue(now));
    return zrkos::TimerArm(delay, OnSystemTimer);
}

void CTimer::Tick() {
    int64_t now = NowMs();
    // A timer may stop itself (or others) while being offered the time:
    // walk a copy and skip those no longer registered.
    std::vector<CTimer*> snapshot = Timers();
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
        auto& live = Timers();
        if (std::find(live.begin(), live.end(), *it) != live.end()) (*it)->Offer(now);
    }
    Reschedule();
}

int CTimer::Count() { return static_cast<int>(Timers().size()); }
