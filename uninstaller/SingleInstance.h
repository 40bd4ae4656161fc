#pragma once
// One uninstaller at a time in a session, told by a mutex of a fixed name.
// Any program of the session may make that name first: one that another
// account made, or the administrator's own unelevated programs, is no
// uninstaller and stops none.
#include <windows.h>

#include "Handles.h"

namespace norvale {

extern const wchar_t kSingleInstanceName[];

enum class InstanceClaim {
  Claimed,         // this run is the one (held keeps the name)
  AnotherRuns,     // an uninstaller made the name first
};

// Claims `name` for this run; `held` keeps the mutex for as long as it runs.
// A name another program took first is passed over: this run goes on.
InstanceClaim ClaimSingleInstance(const wchar_t* name, KernelHandle& held);

}  // namespace norvale
