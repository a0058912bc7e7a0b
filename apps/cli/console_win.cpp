#include <windows.h>

#include <atomic>

#include "apps/cli/console.h"

namespace zorvik::cli {
namespace {

std::atomic<int> interrupts{0};
std::atomic<ULONGLONG> firstInterruptMs{0};
// A person who presses Ctrl-C again after this long has seen the first one
// do too little; a second event sooner is the same request twice.
constexpr ULONGLONG kQuitAfterMs = 1000;
// Set once at start-up, before the handler can run.
std::atomic<std::atomic<bool>*> cancelFlag{nullptr};

// Runs on a thread the system creates for the event. A second interrupt a
// second or more after the first ends the process without running exit
// handlers, like _exit on POSIX: the worker may hold the C runtime's locks,
// and the system closes the port.
BOOL WINAPI onConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (interrupts.fetch_add(1) == 0) {
    firstInterruptMs = GetTickCount64();
    if (std::atomic<bool>* flag = cancelFlag.load()) flag->store(true);
    return TRUE;
  }
  if (GetTickCount64() - firstInterruptMs.load() >= kQuitAfterMs) TerminateProcess(GetCurrentProcess(), 130);
  return TRUE;
}

// _isatty is true for every character device, the NUL device included;
// only a console answers GetConsoleMode.
bool isConsole(DWORD stdHandle, DWORD& mode) {
  const HANDLE handle = GetStdHandle(stdHandle);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != FALSE;
}

}  // namespace

void installInterruptHandler(std::atomic<bool>& cancel) {
  cancelFlag = &cancel;
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

// The station, the only loop that waits on descriptors, is not built for Windows.
int interruptWakeFd() { return -1; }

bool stdinIsTerminal() {
  DWORD mode = 0;
  return isConsole(STD_INPUT_HANDLE, mode);
}

// The progress bar erases with a VT sequence, which a console shows as text
// unless it processes them; consoles that cannot do that get no bar.
bool stderrIsTerminal() {
  DWORD mode = 0;
  if (!isConsole(STD_ERROR_HANDLE, mode)) return false;
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
  return SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE;
}

}  // namespace zorvik::cli
