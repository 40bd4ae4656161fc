#pragma once
// What the engine's procedures work on: the installer's state, its window,
// its archive library, the placeholder expansion and the shell seams.
#include "EngineSeams.h"
#include "InstallerState.h"
#include "InstallerWindow.h"
#include "clsLZH.h"

namespace norvale {

struct EngineContext {
  InstallerState& state;
  IInstallerWindow& window;
  clsLZH& objLzh;
  IPathMacros& macros;
  EngineSeams seams = EngineSeams::System();
  // The progress page's two step texts: the current step and its item.
  ICaption* stepLabel = nullptr;
  ICaption* itemLabel = nullptr;
};

}  // namespace norvale
