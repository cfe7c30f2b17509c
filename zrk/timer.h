// Framework timers. All timers of the process share one system timer,
// served by one hidden window; it is always armed for the timer due first.
#pragma once

#include <cstdint>

class CTimer {
public:
    explicit CTimer(long periodMs = 1000);
    virtual ~CTimer();
    CTimer(const CTimer&) = delete;
    CTimer& operator=(const CTimer&) = delete;

    // Registers the timer with its due time now + period (nothing happens
    // while the "NoTimer" setting is on).
    int Start();
    void Stop();
    bool Running() const { return m_running; }
    long Period() const { return m_period; }
    void SetPeriod(long periodMs) { m_period = periodMs; }

    // Milliseconds until due at NOW (0 when overdue).
    long DelayUntilDue(int64_t nowMs) const;
    // Offered the current time on every timer message; the default calls
    // OnElapsed when due and sets the next due time.
    virtual void Offer(int64_t nowMs);
    virtual void OnElapsed() {}

    // The clock the timers use, in milliseconds.
    static int64_t NowMs();
    // Re-arms the system timer for the timer due first (killed when none).
    static int Reschedule();
    // One timer message: every timer is offered the time, last registered
    // first, then the system timer is re-armed.
    static void Tick();
    static int Count();

private:
    long m_period;
    int64_t m_due = 0;
    bool m_running = false;
};
