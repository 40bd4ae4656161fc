// Small wrappers of one Windows service each: wave sound and volume, the
// screen keyboard, the keyboard type, the IME's reading of a text, UTF-8,
// the computer, user and processor names, DLL exports and INI values.
#include "clsWinCommon.h"

#include <imm.h>
#include <mmsystem.h>

#include <climits>

#include "Text.h"
#include "forms/Application.h"

using namespace norvale;

namespace {

constexpr wchar_t kScreenKeyboardCaption[] = L"スクリーン キーボード";
constexpr DWORD kScreenKeyboardSettle = 500;
constexpr LCID kJapaneseLocale = MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN),
                                          SORT_DEFAULT);

// An input context taken from a window, given back when done.
class InputContext {
 public:
  explicit InputContext(HWND window) : window_(window), context_(ImmGetContext(window)) {}
  ~InputContext() {
    if (context_) ImmReleaseContext(window_, context_);
  }
  InputContext(const InputContext&) = delete;
  InputContext& operator=(const InputContext&) = delete;
  HIMC Get() const { return context_; }

 private:
  HWND window_;
  HIMC context_;
};

std::wstring MapJapanese(const std::wstring& text, DWORD flags) {
  if (text.empty()) return text;
  const int size = LCMapStringW(kJapaneseLocale, flags, text.c_str(),
                                static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return text;
  std::wstring mapped(size, L'\0');
  LCMapStringW(kJapaneseLocale, flags, text.c_str(), static_cast<int>(text.size()),
               mapped.data(), size);
  return mapped;
}

// The first window of the program, whose input context the IME answers for.
HWND FirstProgramWindow() {
  const forms::Application* app = forms::Application::Current();
  if (app && !app->Forms().empty()) return app->Forms().front()->hWnd();
  return GetActiveWindow();
}

// Fills a name Windows hands out, growing the buffer to the size the call
// asks for. `fill(buffer, &size)` follows GetComputerNameW's contract.
template <typename Fill>
std::wstring NameSizedByAnswer(Fill fill) {
  DWORD size = 64;
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::wstring buffer(size + 1, L'\0');
    DWORD asked = size;
    if (fill(buffer.data(), &asked)) return CutAtNull(buffer);
    const DWORD error = GetLastError();
    if ((error != ERROR_BUFFER_OVERFLOW && error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) ||
        asked <= size) {
      return L"";
    }
    size = asked;
  }
  return L"";
}

// Calls visit(device) for the first wave-out device that controls its volume.
template <typename Visit>
void WithVolumeDevice(Visit visit) {
  const UINT devices = waveOutGetNumDevs();
  for (UINT device = 0; device < devices; ++device) {
    WAVEOUTCAPSW caps{};
    if (waveOutGetDevCapsW(device, &caps, sizeof(caps)) == MMSYSERR_NOERROR &&
        (caps.dwSupport & WAVECAPS_VOLUME)) {
      visit(reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(device)));
      return;
    }
  }
}

}  // namespace

// SND_MEMORY would read the file name as a sound image; it is never the
// caller's to ask for.
int32_t clsWinCommon::PlayWaveSound(const std::wstring& SoundFile, int16_t sw) {
  try {
    const UINT flags = (static_cast<UINT>(static_cast<uint16_t>(sw)) | SND_NODEFAULT) &
                       ~static_cast<UINT>(SND_MEMORY);
    return sndPlaySoundW(SoundFile.c_str(), flags);
  } catch (...) {
    return 0;
  }
}

void clsWinCommon::StopWaveSound() {
  try {
    sndPlaySoundW(nullptr, 0);
  } catch (...) {
  }
}

uint32_t clsWinCommon::GetWaveOutVolume() {
  try {
    uint32_t result = 0;
    WithVolumeDevice([&](HWAVEOUT device) {
      DWORD volume = 0;
      if (waveOutGetVolume(device, &volume) == MMSYSERR_NOERROR) result = volume;
    });
    return result;
  } catch (...) {
    return 0;
  }
}

void clsWinCommon::SetWaveOutVolume(uint32_t vol) {
  try {
    WithVolumeDevice([&](HWAVEOUT device) { waveOutSetVolume(device, vol); });
  } catch (...) {
  }
}

HWND clsWinCommon::ScreenKeyboardWindow() { return GethWndFromCaption(kScreenKeyboardCaption); }

bool clsWinCommon::ScreenKbdOn(bool IsKbdOn) {
  try {
    if (!IsKbdOn) {
      m_OskResult = 0;
      HWND keyboard = ScreenKeyboardWindow();
      if (!keyboard) return false;
      return SendMessageW(keyboard, WM_CLOSE, 0, 0) != 0;
    }
    const std::wstring path = GetSysDir() + L"\\osk.exe";
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
      return false;
    }
    m_OskResult = ShellExe(path, L"", SW_SHOWNORMAL);
    if (m_OskResult <= 32) return false;
    WinSleep(kScreenKeyboardSettle);
    if (seams_.pump) seams_.pump->DoEvents();
    if (HWND keyboard = ScreenKeyboardWindow()) SetWindow前面(keyboard, -1);
    return true;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::ScreenKbdOff() {
  try {
    if (HWND keyboard = ScreenKeyboardWindow()) SendMessageW(keyboard, WM_CLOSE, 0, 0);
  } catch (...) {
  }
  return true;
}

bool clsWinCommon::ScreenKbdTop() {
  try {
    HWND keyboard = ScreenKeyboardWindow();
    if (!keyboard) return ScreenKbdOn(true);
    SetWindow前面(keyboard, -1);
    return true;
  } catch (...) {
    return false;
  }
}

int32_t clsWinCommon::GetTypeOfKeyboard(int32_t KeyInfo) { return GetKeyboardType(KeyInfo); }

std::wstring clsWinCommon::IME_ReverseConversion(const std::wstring& aStrSource, bool Isカタカナ,
                                                 bool Is全角) {
  try {
    if (aStrSource.empty()) return L"";
    InputContext context(FirstProgramWindow());
    const HKL layout = GetKeyboardLayout(0);
    std::wstring reading;
    const DWORD size = ImmGetConversionListW(layout, context.Get(), aStrSource.c_str(), nullptr,
                                             0, GCL_REVERSECONVERSION);
    if (size >= sizeof(CANDIDATELIST)) {
      std::vector<BYTE> buffer(size);
      auto* list = reinterpret_cast<CANDIDATELIST*>(buffer.data());
      if (ImmGetConversionListW(layout, context.Get(), aStrSource.c_str(), list, size,
                                GCL_REVERSECONVERSION) > 0 &&
          list->dwCount > 0 && list->dwOffset[0] < size) {
        const auto* text = reinterpret_cast<const wchar_t*>(buffer.data() + list->dwOffset[0]);
        const size_t room = (size - list->dwOffset[0]) / sizeof(wchar_t);
        reading = CutAtNull(std::wstring_view(text, room));
      }
    }
    if (Isカタカナ) reading = MapJapanese(reading, LCMAP_KATAKANA);
    if (!Is全角) reading = MapJapanese(reading, LCMAP_HALFWIDTH);
    return reading;
  } catch (...) {
    return L"";
  }
}

std::wstring clsWinCommon::FromUTF8(const std::vector<uint8_t>& bData) {
  try {
    if (bData.empty() || bData.size() > INT_MAX) return L"";
    const auto* bytes = reinterpret_cast<const char*>(bData.data());
    const int count = static_cast<int>(bData.size());
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, count, nullptr, 0);
    if (size <= 0) return L"";
    std::wstring text(size, L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, count, text.data(), size) !=
        size) {
      return L"";
    }
    return text;
  } catch (...) {
    return L"";
  }
}

std::vector<uint8_t> clsWinCommon::ToUTF8(const std::wstring& sData) {
  try {
    if (sData.empty() || sData.size() > INT_MAX) return {};
    const int count = static_cast<int>(sData.size());
    const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, sData.c_str(), count,
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::vector<uint8_t> bytes(size);
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, sData.c_str(), count,
                            reinterpret_cast<char*>(bytes.data()), size, nullptr,
                            nullptr) != size) {
      return {};
    }
    return bytes;
  } catch (...) {
    return {};
  }
}

std::wstring clsWinCommon::GetNameOfComputer() {
  try {
    return NameSizedByAnswer(
        [](wchar_t* buffer, DWORD* size) { return GetComputerNameW(buffer, size) != FALSE; });
  } catch (...) {
    return L"";
  }
}

std::wstring clsWinCommon::GetLogonUserName() {
  try {
    return NameSizedByAnswer(
        [](wchar_t* buffer, DWORD* size) { return GetUserNameW(buffer, size) != FALSE; });
  } catch (...) {
    return L"";
  }
}

std::wstring clsWinCommon::GetCPUInfo() {
  try {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    switch (info.dwProcessorType) {
      case 386: return L"i386";
      case 486: return L"i486";
      case 586: return L"Pentium";
      case 4000: return L"MIPS_R4000";
      case 21064: return L"ALPHA_21064";
      default: return L"";
    }
  } catch (...) {
    return L"";
  }
}

bool clsWinCommon::ExistDllFunction(const std::wstring& FuncName, const std::wstring& DllFile) {
  try {
    LoadedModule module(LoadLibraryW(DllFile.c_str()));
    if (!module) return false;
    const std::string name = ToAnsi(FuncName);
    return !name.empty() && GetProcAddress(module.Get(), name.c_str()) != nullptr;
  } catch (...) {
    return false;
  }
}

std::wstring clsWinCommon::GetINIValue(const std::wstring& SecionName, const std::wstring& KeyName,
                                       int32_t BUFSIZE, const std::wstring& INIFile) {
  try {
    if (BUFSIZE <= 0) return L"";
    std::wstring buffer(static_cast<size_t>(BUFSIZE), L'\0');
    GetPrivateProfileStringW(SecionName.c_str(), KeyName.c_str(), L"", buffer.data(),
                             static_cast<DWORD>(BUFSIZE), INIFile.c_str());
    return CutAtNull(buffer);
  } catch (...) {
    return L"";
  }
}

std::wstring clsWinCommon::SetINIValue(const std::wstring& SecionName, const std::wstring& KeyName,
                                       const std::wstring& DataValue, const std::wstring& INIFile) {
  try {
    return WritePrivateProfileStringW(SecionName.c_str(), KeyName.c_str(), DataValue.c_str(),
                                      INIFile.c_str())
               ? L"1"
               : L"0";
  } catch (...) {
    return L"0";
  }
}

intptr_t clsWinCommon::GetPointer(intptr_t lngAddressOf) { return lngAddressOf; }
