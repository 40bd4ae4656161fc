#pragma once
// Three steps of the install run after the shortcuts: the file associations,
// the auto-run programs (started one after the other, each awaited) and the
// run-as-administrator flags, each recorded in its own section of the
// install record.
#include <cstdint>
#include <optional>
#include <string>

#include "InstallRun.h"
#include "InstallTree.h"

namespace norvale {

int16_t CreateApFileLinks(InstallRun& run);
int32_t CountApFileLinks(InstallRun& run);
int16_t ExecuteAutoRun(InstallRun& run);
int16_t RegstRunAsAdmin(InstallRun& run);

// A program path that names its file outright: a drive path ("C:\...") or a
// network path ("\\server\..."), with nothing in it that a command line
// would read as its end. Programs are started and associated only by such
// paths, so that Windows never searches for one of the same name.
bool IsFullProgramPath(const std::wstring& path);

// The program file of the finish page's command, its placeholders expanded:
// trimmed, and without one pair of quotes around it.
std::wstring FinishProgramOf(const std::wstring& expandedCommand);

// Before the downloads: the auto-run programs and the finish page's program
// that lie in the install folder are the run's to vouch for when they start.
void WatchProgramsToStart(InstallRun& run);

// A program the elevated run is about to start, held until the caller lets
// go once its process is made: in the install folder, where every user may
// replace it, only exactly as this run wrote it; elsewhere, or where the
// run writes by name (a share), as it is (nothing held). Nothing when it may
// not start.
std::optional<HeldArrival> HoldProgramToStart(InstallerState& state, const std::wstring& program);

}  // namespace norvale
