// The fault the dllsearch layer closes, as a plain program shows it: it
// imports MPR and WININET statically, calls nothing of them and ends. With
// a planted copy of either beside it, the copy runs before main.
#include <windows.h>
#include <wininet.h>
#include <winnetwk.h>

int main() {
  // Taking the addresses keeps the imports without calling a planted copy.
  const void* volatile imports[] = {reinterpret_cast<const void*>(&WNetGetLastErrorW),
                                    reinterpret_cast<const void*>(&InternetCloseHandle)};
  return imports[0] && imports[1] ? 0 : 1;
}
