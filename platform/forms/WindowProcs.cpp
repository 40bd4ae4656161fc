// Every message of a toolkit window enters here; nothing thrown by the
// program's handlers leaves.
#include "forms/WindowClasses.h"
#include "forms/Widget.h"

namespace norvale::forms {

const wchar_t* ToolkitClassName(ToolkitClass kind) {
  const wchar_t* name = kind == ToolkitClass::kForm        ? L"NorvaleForm"
                        : kind == ToolkitClass::kContainer ? L"NorvaleContainer"
                                                           : L"NorvaleImage";
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (!GetClassInfoExW(instance, name, &existing)) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WidgetWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
  }
  return name;
}

LRESULT CALLBACK WidgetWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    Widget* widget = Widget::FromWindow(hwnd);
    if (!widget && message == WM_NCCREATE) {
      widget = static_cast<Widget*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      if (widget) widget->AttachWindow(hwnd, false);
    }
    if (widget) return widget->WindowMessage(hwnd, message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

LRESULT CALLBACK SubclassWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (Widget* widget = Widget::FromWindow(hwnd)) {
      return widget->WindowMessage(hwnd, message, wParam, lParam);
    }
  } catch (...) {
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace norvale::forms
