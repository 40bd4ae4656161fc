#include "basNorvale.h"

#include "forms/Application.h"

namespace norvale {

void CALLBACK InetStatusCallback(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) {
  // No exception may leave a system callback.
  try {
    if (forms::Application* app = forms::Application::Current()) app->DoEvents();
  } catch (...) {
  }
}

}  // namespace norvale
