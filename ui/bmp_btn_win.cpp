#include "ui/bmp_btn.h"

#include "res/resource.h"
#include "ui/gdi_win.h"

namespace halvora::ui {

CBmpBtn::CBmpBtn()
    : cursor(LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_HAND_CURSOR))) {}

bool CBmpBtn::Create(const RECT& rect, HWND parent, UINT id, const wchar_t* name) {
  state = ButtonState::kNormal;
  hover = false;
  needCapture = true;
  return CControl::Create(L"BUTTON", name, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, rect,
                          parent, id);
}

void CBmpBtn::SetBitmaps(UINT normal, UINT hoverId, UINT pressed) {
  pictures[static_cast<int>(ButtonState::kNormal)] = LoadPicture(normal);
  pictures[static_cast<int>(ButtonState::kHover)] = LoadPicture(hoverId);
  pictures[static_cast<int>(ButtonState::kPressed)] = LoadPicture(pressed);
}

bool CBmpBtn::OnDrawItem(const DRAWITEMSTRUCT& item) {
  const DrawItemBits bits{(item.itemState & ODS_FOCUS) != 0, (item.itemState & ODS_SELECTED) != 0,
                          (item.itemState & ODS_DISABLED) != 0};
  state = StateForDrawItem(state, bits, hover);
  Repaint(item.hDC);
  return true;
}

bool CBmpBtn::OnMouseMove(UINT, POINT) {
  hover = true;
  state = ButtonState::kHover;
  Repaint();
  timerRunning = SetTimer(Handle(), kHoverTimer, kHoverInterval, nullptr) != 0;
  return false;
}

bool CBmpBtn::OnTimer(UINT_PTR id) {
  if (id != kHoverTimer) return false;
  const DWORD pos = GetMessagePos();
  POINT p{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
  ScreenToClient(Handle(), &p);
  RECT client{};
  GetClientRect(Handle(), &client);
  if (!PtInRect(&client, p)) {
    hover = false;
    state = ButtonState::kNormal;
    KillTimer(Handle(), kHoverTimer);
    timerRunning = false;
  }
  Repaint();
  return false;
}

bool CBmpBtn::OnSetCursor(HWND, UINT, UINT) {
  SetCursor(cursor);
  return true;
}

bool CBmpBtn::OnEraseBkgnd(HDC dc) {
  if (needCapture) {
    RECT client{};
    GetClientRect(Handle(), &client);
    win::CreatedDc copy(CreateCompatibleDC(dc));
    win::BitmapHandle pixels(CreateCompatibleBitmap(dc, client.right, client.bottom));
    if (copy && pixels) {
      {
        win::ScopedSelectObject select(copy.Get(), pixels.Get());
        BitBlt(copy.Get(), 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
      }
      background = std::move(pixels);
      needCapture = false;
    }
  }
  return true;
}

bool CBmpBtn::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  // The mark comes with a focus that a navigation key moved here: the
  // dialog moves it while the key's press is handled.
  if (message == WM_SETFOCUS || message == WM_KILLFOCUS) {
    const bool navigating = [] {
      for (int key : {VK_TAB, VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN})
        if (GetKeyState(key) & 0x8000) return true;
      return false;
    }();
    focusMark = message == WM_SETFOCUS && navigating;
    InvalidateRect(Handle(), nullptr, FALSE);
    return false;
  }
  if (message != WM_LBUTTONDBLCLK) return false;
  // The second click of a quick pair: press the button again, so releasing it
  // sends BN_CLICKED like the first one did.
  result = SendMessageW(Handle(), WM_LBUTTONDOWN, wParam, lParam);
  return true;
}

void CBmpBtn::OnDestroy() {
  if (timerRunning) KillTimer(Handle(), kHoverTimer);
  timerRunning = false;
}

void CBmpBtn::Repaint() {
  if (!Handle()) return;
  win::ScopedGetDc dc(Handle());
  if (dc) Repaint(dc.Get());
}

void CBmpBtn::Repaint(HDC target) {
  RECT client{};
  GetClientRect(Handle(), &client);
  OffscreenBuffer buffer(target, client.right, client.bottom);
  if (!buffer.Ok()) return;
  if (background) {
    win::CreatedDc source(CreateCompatibleDC(target));
    if (source) {
      win::ScopedSelectObject select(source.Get(), background.Get());
      BitBlt(buffer.Dc(), 0, 0, client.right, client.bottom, source.Get(), 0, 0, SRCCOPY);
    }
  }
  const HBITMAP picture = pictures[static_cast<int>(state)].Get();
  if (picture) {
    // The picture's top-left, button-sized part is what shows.
    win::CreatedDc source(CreateCompatibleDC(target));
    if (source) {
      win::ScopedSelectObject select(source.Get(), picture);
      BitBlt(buffer.Dc(), 0, 0, client.right, client.bottom, source.Get(), 0, 0, SRCCOPY);
    }
  }
  if (ShowsFocusMark()) {
    RECT mark = client;
    InflateRect(&mark, -2, -2);
    SetBkColor(buffer.Dc(), RGB(255, 255, 255));
    SetTextColor(buffer.Dc(), RGB(0, 0, 0));
    DrawFocusRect(buffer.Dc(), &mark);
  }
  buffer.Present(target);
}

}  // namespace halvora::ui
