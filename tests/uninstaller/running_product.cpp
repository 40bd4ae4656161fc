// A product program that keeps running: it says so through the event named
// on its command line, then waits to be ended, so that its file stays
// mapped for as long as a test needs it.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  HANDLE started = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
  if (!started) return 3;
  SetEvent(started);
  CloseHandle(started);
  Sleep(120000);
  return 0;
}
