// Message boxes go to standard error always; a window is shown only when
// someone can answer it: the process runs on the interactive window station
// and standard error is a console. A service, a scheduled task or a run with
// its output redirected never blocks on a box no one sees.
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <thread>

#include "foundation/platform/message_box.h"

namespace pv {

namespace {

bool SomeoneAtTheConsole() {
  USEROBJECTFLAGS flags = {};
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr ||
      !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) ||
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    return false;
  }
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// The error window: a top-most window filled by a list box, run by its own
// thread with its own message loop (the main loop never pumps messages).
// Other threads hand it the entries and post kRefresh; closing it only hides
// it until the next entry.
constexpr UINT kRefresh = WM_APP + 1;
std::mutex window_mu;
std::vector<std::string> window_entries;  // guarded by window_mu
HWND window = nullptr;                    // guarded by window_mu once set
HWND list = nullptr;                      // the window thread's own

LRESULT CALLBACK ErrorWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      if (list != nullptr) MoveWindow(list, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
      return 0;
    case WM_CLOSE:
      ShowWindow(hwnd, SW_HIDE);
      return 0;
    case kRefresh: {
      std::vector<std::string> entries;
      {
        std::lock_guard<std::mutex> l(window_mu);
        entries = window_entries;
      }
      SendMessageA(list, LB_RESETCONTENT, 0, 0);
      for (const std::string& e : entries) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.c_str()));
      SendMessageA(list, LB_SETCURSEL, 0, 0);
      ShowWindow(hwnd, entries.empty() ? SW_HIDE : SW_SHOWNOACTIVATE);
      return 0;
    }
    default:
      return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

void RunErrorWindow(HANDLE created) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ErrorWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = "PackvaultErrorWindow";
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "Packvault errors", WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, CW_USEDEFAULT, 640, 240, nullptr, nullptr, wc.hInstance, nullptr);
  if (hwnd != nullptr) {
    list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT,
                           0, 0, 640, 240, hwnd, nullptr, wc.hInstance, nullptr);
    RECT r;
    GetClientRect(hwnd, &r);
    MoveWindow(list, 0, 0, r.right, r.bottom, FALSE);
  }
  {
    std::lock_guard<std::mutex> l(window_mu);
    window = hwnd;
  }
  SetEvent(created);
  if (hwnd == nullptr) return;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace

void ShowErrorWindow(const std::vector<std::string>& entries) {
  static const bool shown = [] {
    if (!SomeoneAtTheConsole()) return false;
    HANDLE created = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (created == nullptr) return false;
    std::thread(RunErrorWindow, created).detach();  // lives as long as the process
    WaitForSingleObject(created, 5000);
    CloseHandle(created);
    return true;
  }();
  if (!shown) return;
  std::lock_guard<std::mutex> l(window_mu);
  window_entries = entries;
  if (window != nullptr) PostMessageA(window, kRefresh, 0, 0);
}

void ShowMessageBox(const char* caption, const char* text, MessageIcon icon) {
  const char* c = caption != nullptr ? caption : "";
  const char* t = text != nullptr ? text : "";
  std::fprintf(stderr, "%s: %s\n", c, t);
  std::fflush(stderr);
  if (!SomeoneAtTheConsole()) return;
  UINT style = MB_OK | MB_TOPMOST | MB_SETFOREGROUND;
  switch (icon) {
    case MessageIcon::kStop: style |= MB_ICONSTOP; break;
    case MessageIcon::kWarning: style |= MB_ICONWARNING; break;
    case MessageIcon::kInformation: style |= MB_ICONINFORMATION; break;
    case MessageIcon::kNone: break;
  }
  MessageBoxA(nullptr, t, c, style);
}

void SoundBeep(uint32_t frequency_hz, uint32_t duration_ms) { Beep(frequency_hz, duration_ms); }

}  // namespace pv
