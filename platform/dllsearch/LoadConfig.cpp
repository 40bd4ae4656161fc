// The image's load configuration, and the end of its delayed-import table.
//
// Windows 10 1607 and later read the load configuration's dependent-load
// flags when they resolve the program's static imports and the imports of
// every DLL those bring in. This GNU ld (2.40) links both tables but fills
// in neither image directory: set_image_directories.py does after the link,
// from the link map.
#include <windows.h>

#include <cstddef>

namespace {

// mingw-w64's winnt.h still calls the dependent-load flags Reserved1.
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, Reserved1) == (sizeof(void*) == 8 ? 78 : 54));

constexpr IMAGE_LOAD_CONFIG_DIRECTORY SystemFolderOnly() {
  IMAGE_LOAD_CONFIG_DIRECTORY config{};
  // The size of the structure winnt.h declares, which covers the flags.
  config.Size = sizeof(IMAGE_LOAD_CONFIG_DIRECTORY);
  config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;
  return config;
}

}  // namespace

// Every other field stays zero: no SafeSEH table (SEHandlerTable and
// SEHandlerCount zero, so the 32-bit loader holds no handler of ours
// invalid), no security cookie of the loader's, no control-flow guard.
extern "C" const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = SystemFolderOnly();

// dlltool puts the descriptor of each delay-import library in ".text$2",
// which the linker sorts together; the table they form ends with a
// descriptor of zeros, which ".text$3" places right after them.
extern "C" __attribute__((section(".text$3"), used, aligned(4)))
const unsigned char norvale_delay_imports_end[32] = {};
