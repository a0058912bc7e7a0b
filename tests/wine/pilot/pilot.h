// The pilot: drives zorvik-updater.exe from outside, as a person (or a
// screen reader, or an automation tool) would. It starts the program, finds
// its windows by class and caption and its controls by their roles
// (session/widget_roles.h, resolved to IDs by apps/windows/control_ids.h), clicks,
// types, answers dialogs and reads back what the windows show. It decides
// nothing: it prints what it sees, one line per observation, and the host
// tests judge it.
//
// Each program argument is one command; see kCommands in pilot_main.cpp.
#pragma once

#include <windows.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik::pilot {

// A command that could not be carried out; the pilot prints it and stops.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string utf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);
void say(const std::string& line);  // one observation on standard output

class Pilot {
 public:
  explicit Pilot(std::wstring updater) : updater_(std::move(updater)) {}
  ~Pilot();
  Pilot(const Pilot&) = delete;
  Pilot& operator=(const Pilot&) = delete;

  void launch(const std::wstring& arguments);
  bool running() const;
  void terminate();
  // Exit status once the program has ended; throws when it is still running after `limit`.
  DWORD waitForExit(std::chrono::milliseconds limit);

  HWND mainWindow() const { return main_; }
  // A control of the main window's panel, or the status bar, by its role;
  // null when the window has none of that role.
  HWND control(std::string_view role) const;
  HWND reportView() const;
  HWND taskbarWindow() const;
  // A visible top-level window of the program with this caption, or null.
  HWND findWindow(const std::wstring& caption) const;
  HWND waitForWindow(const std::wstring& caption, std::chrono::milliseconds limit) const;
  void waitUntilGone(HWND window, std::chrono::milliseconds limit) const;

  std::wstring text(HWND window) const;  // WM_GETTEXT, whatever the process
  // The text of a window or control by its role: the main window's caption,
  // the task-bar button's, the report, the final message, the port check's
  // findings, or any control of the main window.
  std::wstring roleText(std::string_view role) const;
  int progressPosition() const;

  HANDLE process() const { return process_; }
  DWORD threadId() const { return thread_; }

 private:
  std::wstring updater_;
  HANDLE process_ = nullptr;
  DWORD processId_ = 0;
  DWORD thread_ = 0;
  HWND main_ = nullptr;
};

// Memory in the program's process, for the messages that pass pointers and
// that the system does not carry across processes (list view, status bar).
class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, std::size_t bytes);
  ~RemoteBuffer();
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  void* address() const { return address_; }
  void write(const void* data, std::size_t bytes, std::size_t offset = 0);
  void read(void* data, std::size_t bytes, std::size_t offset = 0) const;

 private:
  HANDLE process_;
  void* address_;
};

// The commands, by area.
void clickButton(Pilot& pilot, HWND button);
void mouseClick(HWND window);
void pressKeys(Pilot& pilot, const std::string& keys);
void sendDeviceChange(Pilot& pilot, const std::string& event, const std::string& kind);
// Writes (or, with an empty port, deletes) a value of the serial port map.
void setSerialMapValue(const std::wstring& device, const std::wstring& port);
void sayControls(Pilot& pilot);
void sayGeometry(Pilot& pilot);
void sayStatusRoom(Pilot& pilot);
void sayFocus(Pilot& pilot);
void sayPortList(Pilot& pilot);
void sayOverview(Pilot& pilot, HWND dialog);
void sayAccessibleName(HWND control, const std::string& label);
void typeIntoFileDialog(Pilot& pilot, const std::wstring& fileName, std::chrono::milliseconds limit);
void saveScreenshot(Pilot& pilot, const std::wstring& bmpFile);

}  // namespace zorvik::pilot
