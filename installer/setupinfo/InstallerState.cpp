#include "InstallerState.h"

namespace norvale {

InstallerState::InstallerState(InstallerSeams s)
    : seams(std::move(s)),
      objWinCommon(seams.common, seams.windows),
      objStartIni(seams.common),
      objSetupIni(seams.common),
      objError(seams.common),
      objPublicFunc(seams.common),
      objTimer(seams.common.clock),
      objFtp(seams.common, seams.ftpWaits) {}

}  // namespace norvale
