// Names and numbers by which the windows and their controls are found: the
// window classes, the control IDs and the role each ID plays
// (session/widget_roles.h). The test pilot drives the window through them
// (FindWindow, GetDlgItem), as an automation tool would, so they are kept in
// this one header that both programs include.
#pragma once

#include "session/widget_roles.h"

namespace zorvik::win {

// Window classes. The confirmation question, the firmware overview and the
// port check are dialog boxes (class "#32770") found by their captions.
inline constexpr wchar_t kTaskbarWindowClass[] = L"ZorvikUpdaterApplication";
inline constexpr wchar_t kMainWindowClass[] = L"ZorvikUpdaterMain";
inline constexpr wchar_t kPanelClass[] = L"ZorvikUpdaterPanel";
inline constexpr wchar_t kReportWindowClass[] = L"ZorvikUpdaterReport";

// Captions of the secondary windows.
inline constexpr wchar_t kConfirmCaption[] = L"Confirm";
inline constexpr wchar_t kMessageCaption[] = L"Information";
inline constexpr wchar_t kOverviewCaption[] = L"Overview";
inline constexpr wchar_t kReportCaption[] = L"Report";
inline constexpr wchar_t kCheckPortCaption[] = L"Check port";
inline constexpr wchar_t kAboutCaption[] = L"About";

// Children of the main window.
inline constexpr int kIdPanel = 100;  // every control but the status bar
inline constexpr int kIdStatusBar = 101;

// Children of the panel, created in this order: the tab order.
inline constexpr int kIdDividerLine = 110;
inline constexpr int kIdPortLabel = 111;  // "Comport:"
inline constexpr int kIdPortBox = 112;
inline constexpr int kIdProgressBar = 113;
inline constexpr int kIdUpdateButton = 114;
inline constexpr int kIdCancelButton = 115;
inline constexpr int kIdCloseButton = 116;
inline constexpr int kIdFileButton = 117;
inline constexpr int kIdReadInfoOnlyBox = 118;
inline constexpr int kIdTraceBox = 119;

// Entries of the "Info" menu.
inline constexpr int kIdFirmwareAction = 200;
inline constexpr int kIdFileVersionAction = 201;
inline constexpr int kIdExitAction = 202;
inline constexpr int kIdCheckPortAction = 203;
inline constexpr int kIdAboutAction = 204;

// The report window's text box.
inline constexpr int kIdReportView = 300;

// Controls of the dialogs; their buttons are the standard IDOK ("OK"),
// IDYES ("Yes"), IDNO ("No") and IDCANCEL ("Close" of the port check).
inline constexpr int kIdQuestionIcon = 400;
inline constexpr int kIdQuestionText = 401;
inline constexpr int kIdMessageText = 410;
inline constexpr int kIdMessageIcon = 411;
inline constexpr int kIdOverviewList = 420;
inline constexpr int kIdFindingsText = 430;

// A control of the main window by its role.
struct ControlRole {
  const char* role;
  int id;
};

// The panel's controls in the tab order.
inline constexpr ControlRole kPanelControls[] = {
    {session::roles::kDividerLine, kIdDividerLine},
    {session::roles::kPortLabel, kIdPortLabel},
    {session::roles::kPortBox, kIdPortBox},
    {session::roles::kProgressBar, kIdProgressBar},
    {session::roles::kUpdateButton, kIdUpdateButton},
    {session::roles::kCancelButton, kIdCancelButton},
    {session::roles::kCloseButton, kIdCloseButton},
    {session::roles::kFileButton, kIdFileButton},
    {session::roles::kReadInfoOnlyBox, kIdReadInfoOnlyBox},
    {session::roles::kTraceBox, kIdTraceBox},
};

}  // namespace zorvik::win
