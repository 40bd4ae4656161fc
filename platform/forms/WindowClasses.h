#pragma once
// The toolkit's own window classes, registered on first use.
#include <windows.h>

namespace norvale::forms {

enum class ToolkitClass { kForm, kContainer, kImage };

const wchar_t* ToolkitClassName(ToolkitClass kind);

// Posted to a form when its Activate event is due.
constexpr UINT kActivateMessage = WM_APP + 0x3A1;

}  // namespace norvale::forms
