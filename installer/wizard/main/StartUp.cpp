#include "StartUp.h"

namespace norvale {

bool RunStartUpSteps(InstallerState& state) {
  // Until the setup-information download is linked in, the program cannot
  // learn what to install: it says so and closes at its first activation.
  state.ErrText = L"セットアップ情報を取得できませんでした。";
  return false;
}

}  // namespace norvale
