// Names and numbers by which the windows and their controls are found: the
// window classes and the control IDs. The test pilot drives the window
// through them (FindWindow, GetDlgItem), as an automation tool would, so
// they are kept in this one header that both programs include.
#pragma once

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

// Children of the main window.
inline constexpr int kIdPanel = 100;      // Panel1: every control but the status bar
inline constexpr int kIdStatusBar = 101;  // StatusBar1

// Children of the panel, created in this order: the tab order.
inline constexpr int kIdBevel = 110;         // Bevel1
inline constexpr int kIdPortLabel = 111;     // Label1 "Comport:"
inline constexpr int kIdPort = 112;          // cbxPort
inline constexpr int kIdProgress = 113;      // ProgressBar1
inline constexpr int kIdUpdate = 114;        // btnProg
inline constexpr int kIdCancel = 115;        // btnCancel
inline constexpr int kIdClose = 116;         // btnClose
inline constexpr int kIdFile = 117;          // btnFile
inline constexpr int kIdReadInfoOnly = 118;  // chkReadInfoOnly
inline constexpr int kIdWriteTrace = 119;    // chkWriteTrace

// Entries of the "Info" menu.
inline constexpr int kIdMenuFirmware = 200;     // menInfoFirmware
inline constexpr int kIdMenuFileVersion = 201;  // menInfoFile
inline constexpr int kIdMenuExit = 202;         // menFileExit
inline constexpr int kIdMenuCheckPort = 203;

// The report window's text box.
inline constexpr int kIdReportText = 300;

// Controls of the dialogs; their buttons are the standard IDOK ("OK"),
// IDYES ("Yes"), IDNO ("No") and IDCANCEL ("Close" of the port check).
inline constexpr int kIdConfirmIcon = 400;
inline constexpr int kIdConfirmText = 401;
inline constexpr int kIdMessageText = 410;
inline constexpr int kIdOverviewList = 420;
inline constexpr int kIdCheckPortText = 430;

}  // namespace zorvik::win
