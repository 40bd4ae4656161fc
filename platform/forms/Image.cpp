#include "forms/Image.h"

#include <ole2.h>
#include <olectl.h>

#include <cstring>

#include "forms/ComObjects.h"
#include "forms/WindowClasses.h"

namespace norvale::forms {

namespace {

HBITMAP DecodePicture(const void* bytes, DWORD size) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!memory) return nullptr;
  void* target = GlobalLock(memory);
  if (!target) {
    GlobalFree(memory);
    return nullptr;
  }
  std::memcpy(target, bytes, size);
  GlobalUnlock(memory);
  ComPtr<IStream> stream;
  // The stream frees the memory when it is released.
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, stream.Out()))) {
    GlobalFree(memory);
    return nullptr;
  }
  ComPtr<IPicture> picture;
  if (FAILED(OleLoadPicture(stream.operator->(), static_cast<LONG>(size), FALSE, IID_IPicture,
                            reinterpret_cast<void**>(picture.Out())))) {
    return nullptr;
  }
  SHORT type = PICTYPE_UNINITIALIZED;
  OLE_HANDLE handle = 0;
  if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP ||
      FAILED(picture->get_Handle(&handle))) {
    return nullptr;
  }
  // The picture owns its bitmap; keep a copy of our own.
  return static_cast<HBITMAP>(CopyImage(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)),
                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

}  // namespace

Image::Image(const Init& init) : Control(init) {}
Image::~Image() = default;

Control::WindowKind Image::Kind() const {
  return {ToolkitClassName(ToolkitClass::kImage), 0, 0, true};
}

std::unique_ptr<Control> Image::NewElement(const Init& init) const {
  return std::make_unique<Image>(init);
}

void Image::CopyFrom(const Control& source) {
  Control::CopyFrom(source);
  const auto& image = static_cast<const Image&>(source);
  stretch_ = image.stretch_;
  if (image.icon_.Get()) icon_.Reset(CopyIcon(image.icon_.Get()));
  if (image.bitmap_) {
    bitmap_.Reset(static_cast<HBITMAP>(
        CopyImage(image.bitmap_.Get(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  }
}

void Image::Stretch(bool value) {
  stretch_ = value;
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

bool Image::PictureFromIcon(HMODULE module, int resourceId) {
  HICON icon = static_cast<HICON>(
      LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  if (!icon) return false;
  ClearPicture();
  icon_.Reset(icon);
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
  return true;
}

bool Image::PictureFromResource(HMODULE module, int resourceId, const wchar_t* type) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), type);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = found ? SizeofResource(module, found) : 0;
  if (!bytes || size == 0) return false;
  ComApartment com;  // for the picture decoder, for one call
  HBITMAP bitmap = DecodePicture(bytes, size);
  if (!bitmap) return false;
  ClearPicture();
  bitmap_.Reset(bitmap);
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
  return true;
}

void Image::ClearPicture() {
  icon_.Reset();
  bitmap_.Reset();
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void Image::PaintPicture(HDC dc) {
  RECT rc{};
  GetClientRect(hwnd_, &rc);
  if (icon_.Get()) {
    DrawIconEx(dc, 0, 0, icon_.Get(), stretch_ ? rc.right : 0, stretch_ ? rc.bottom : 0, 0,
               nullptr, DI_NORMAL | (stretch_ ? 0 : DI_DEFAULTSIZE));
    return;
  }
  if (!bitmap_) return;
  BITMAP info{};
  GetObjectW(bitmap_.Get(), sizeof info, &info);
  MemoryDc source;
  Selection selected(source.Get(), bitmap_.Get());
  if (stretch_) {
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, 0, 0, rc.right, rc.bottom, source.Get(), 0, 0, info.bmWidth, info.bmHeight,
               SRCCOPY);
  } else {
    BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, source.Get(), 0, 0, SRCCOPY);
  }
}

LRESULT Image::WindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: {
      // An image has no background of its own: its container shows through.
      RECT rc{};
      GetClientRect(hwnd, &rc);
      BrushHandle brush(CreateSolidBrush(ResolveColor(Container().BackColor())));
      FillRect(reinterpret_cast<HDC>(wParam), &rc, brush.Get());
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      PaintPicture(dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    default:
      return Control::WindowMessage(hwnd, message, wParam, lParam);
  }
}

}  // namespace norvale::forms
