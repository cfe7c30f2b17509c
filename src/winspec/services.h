// Windows NT services of a set: created at installation, deleted at
// uninstallation.
#pragma once

class CSetRecord;

// How long a running service is given to stop before it is deleted.
constexpr unsigned kServiceStopWaitMs = 30000;

// For each "SERVICE" record whose test holds and whose binary name is not
// empty, in order, stopping at the first failure: deletes an existing
// service of that name (stopping it first when it runs, so that its program
// is free again), and with INSTALL creates it anew: an own-process service
// of the local system account, started automatically with "AUTOSTART" and
// on demand otherwise, not started now, its program's path in quotes. The
// Windows 95 family has no services: nothing happens there.
// A failure reports message 34 with the system error (36 when the name or
// display name is taken, 1340 when the service does not stop in time), then
// 35 with the display name, and gives 16384.
int ApplyServices(const CSetRecord& set, bool install);
