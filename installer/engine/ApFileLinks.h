#pragma once
// Three steps of the install run after the shortcuts: the file associations,
// the auto-run programs (started one after the other, each awaited) and the
// run-as-administrator flags, each recorded in its own section of the
// install record.
#include <cstdint>
#include <string>

#include "InstallRun.h"

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

}  // namespace norvale
