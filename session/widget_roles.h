// The names of the windows' widgets by the part each plays ("updateButton",
// "portBox"), the same for every front end: the Qt window sets them as
// object names, the native Windows window maps its control IDs to them
// (apps/windows/control_ids.h), and the tests and the Windows test pilot
// find a widget by them. They are our own names, not texts a user sees: the
// captions beside them stay as they are wherever they are shown.
#pragma once

namespace zorvik::session::roles {

// The main window, its panel of controls in their tab order, and the status bar.
inline constexpr char kMainWindow[] = "mainWindow";
inline constexpr char kTaskbarWindow[] = "taskbarWindow";  // Windows: the hidden owner with the task-bar button
inline constexpr char kPanel[] = "panel";
inline constexpr char kDividerLine[] = "dividerLine";
inline constexpr char kPortLabel[] = "portLabel";  // "Comport:"
inline constexpr char kPortBox[] = "portBox";
inline constexpr char kProgressBar[] = "progressBar";
inline constexpr char kUpdateButton[] = "updateButton";
inline constexpr char kCancelButton[] = "cancelButton";
inline constexpr char kCloseButton[] = "closeButton";
inline constexpr char kFileButton[] = "fileButton";
inline constexpr char kReadInfoOnlyBox[] = "readInfoOnlyBox";
inline constexpr char kTraceBox[] = "traceBox";  // "Write trace"
inline constexpr char kStatusBar[] = "statusBar";
inline constexpr char kStatusLabel[] = "statusLabel";  // Qt: the text inside the status bar

// The "Info" menu and its entries.
inline constexpr char kMenuBar[] = "menuBar";
inline constexpr char kInfoMenu[] = "infoMenu";
inline constexpr char kFirmwareAction[] = "firmwareAction";
inline constexpr char kFileVersionAction[] = "fileVersionAction";
inline constexpr char kHistoryAction[] = "historyAction";
inline constexpr char kCheckPortAction[] = "checkPortAction";
inline constexpr char kStationAction[] = "stationAction";
inline constexpr char kAboutAction[] = "aboutAction";
inline constexpr char kExitSeparator[] = "exitSeparator";
inline constexpr char kExitAction[] = "exitAction";
inline constexpr char kFileDialog[] = "fileDialog";  // "File": the image file to program

// The secondary windows and what they hold. A strip with the dialog's
// buttons is its button panel; the button that acknowledges it, okButton.
inline constexpr char kReportWindow[] = "reportWindow";
inline constexpr char kReportView[] = "reportView";
inline constexpr char kMessageWindow[] = "messageWindow";
inline constexpr char kMessageText[] = "messageText";
inline constexpr char kMessageIcon[] = "messageIcon";
inline constexpr char kOverviewWindow[] = "overviewWindow";
inline constexpr char kOverviewList[] = "overviewList";
inline constexpr char kHistoryWindow[] = "historyWindow";
inline constexpr char kHistoryList[] = "historyList";
inline constexpr char kHistoryProblem[] = "historyProblem";
inline constexpr char kCheckPortWindow[] = "checkPortWindow";
inline constexpr char kFindingsList[] = "findingsList";  // Qt: a row per finding
inline constexpr char kFindingsText[] = "findingsText";  // Windows: the findings as one text
inline constexpr char kSummaryText[] = "summaryText";    // Qt: "Checking ..." or the summary line
inline constexpr char kButtonPanel[] = "buttonPanel";
inline constexpr char kOkButton[] = "okButton";

// The production station's view (Qt only): counters over the tiles, one
// tile per port.
namespace station {
inline constexpr char kWindow[] = "stationWindow";
inline constexpr char kNoticeLabel[] = "noticeLabel";
inline constexpr char kWatchingLabel[] = "watchingLabel";
inline constexpr char kPassedLabel[] = "passedLabel";
inline constexpr char kFailedLabel[] = "failedLabel";
inline constexpr char kOtherResultsLabel[] = "otherResultsLabel";  // unplugged, stopped, busy elsewhere
inline constexpr char kTotalLabel[] = "totalLabel";
inline constexpr char kStoppedLabel[] = "stoppedLabel";
inline constexpr char kTileScroller[] = "tileScroller";
inline constexpr char kCloseButton[] = "closeButton";
inline constexpr char kTile[] = "stationTile";
inline constexpr char kPortLabel[] = "portLabel";
inline constexpr char kAdapterLabel[] = "adapterLabel";
inline constexpr char kSerialLabel[] = "serialLabel";
inline constexpr char kStateLabel[] = "stateLabel";
inline constexpr char kProgressBar[] = "progressBar";
inline constexpr char kResultLabel[] = "resultLabel";
inline constexpr char kDetailsLabel[] = "detailsLabel";
inline constexpr char kTextLabel[] = "textLabel";
inline constexpr char kNoteLabel[] = "noteLabel";
}  // namespace station

}  // namespace zorvik::session::roles
