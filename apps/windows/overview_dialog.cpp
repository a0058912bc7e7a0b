#include "apps/windows/overview_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <array>

#include "apps/windows/accessible_names.h"
#include "apps/windows/control_ids.h"
#include "engine/event_texts.h"
#include "images/catalogue.h"

namespace zorvik::win {

namespace {
constexpr int kPanelHeight = 37;
constexpr Bounds kOkButton{13, 7, 98, 24};  // inside the panel along the bottom
constexpr int kColumnPadding = 5;
constexpr int kWidthPadding = 30;
constexpr int kFontPixels = 10;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr std::array<const wchar_t*, 6> kColumns{L"Firmware", L"Version", L"Platform", L"Print", L"Date", L"BL"};
}  // namespace

OverviewDialog::OverviewDialog(const Scale& scale)
    : scale_(scale), font_(makeFont(L"MS Sans Serif", kFontPixels, scale)) {}

void OverviewDialog::execute(HWND owner, int left, int top, int height, const std::optional<images::ImageHeader>& fileHeader) {
  left_ = left;
  top_ = top;
  height_ = height;
  fileHeader_ = fileHeader;
  const std::vector<WORD> dialog = emptyDialogTemplate(kStyle, kOverviewCaption);
  DialogBoxIndirectParamW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)),
                          reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), owner,
                          acknowledgedDialogProcedure<OverviewDialog>, reinterpret_cast<LPARAM>(this));
  overviewList_ = nullptr;
  okButton_ = nullptr;
}

void OverviewDialog::create(HWND dialog) {
  setFont(dialog, font_.get());
  // Read-only rows, headers that cannot be clicked.
  overviewList_ = createControl(dialog, kIdOverviewList, WC_LISTVIEWW, L"",
                        WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                        {0, 0, 10, 10}, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(overviewList_, LVS_EX_FULLROWSELECT);
  setFont(overviewList_, font_.get());
  nameForScreenReaders(overviewList_, L"Firmware images");
  for (std::size_t i = 0; i < kColumns.size(); ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(kColumns[i]);
    column.cx = scale_(50);
    column.iSubItem = static_cast<int>(i);
    ListView_InsertColumn(overviewList_, static_cast<int>(i), &column);
  }
  okButton_ = createControl(dialog, IDOK, L"BUTTON", L"OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, {0, 0, 10, 10});
  setFont(okButton_, font_.get());

  if (fileHeader_) addImageRow(*fileHeader_);
  for (int i = images::kBuiltInImageCount; i >= 1; --i) addImageRow(images::builtInHeader(i));
  layout(dialog);
  SetFocus(okButton_);
}

void OverviewDialog::addImageRow(const images::ImageHeader& header) {
  const engine::ImageRow row = engine::imageRow(header);
  const std::array<std::wstring, 6> cells{widen(row.firmware), widen(row.version), widen(row.platform),
                                          widen(row.print),    widen(row.date),    widen(row.bootloader)};
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = ListView_GetItemCount(overviewList_);
  item.pszText = const_cast<wchar_t*>(cells[0].c_str());
  const int index = ListView_InsertItem(overviewList_, &item);
  for (int column = 1; column < static_cast<int>(cells.size()); ++column) {
    ListView_SetItemText(overviewList_, index, column, const_cast<wchar_t*>(cells[static_cast<std::size_t>(column)].c_str()));
  }
}

// Each column as wide as the wider of its header and its widest cell, plus
// a little air; the sum decides the dialog's width.
int OverviewDialog::autoSizeColumns() {
  // Sized to its header, the last column of a list view would fill the rest
  // of the control instead; an empty column stands last while the real ones
  // are sized.
  const int spare = static_cast<int>(kColumns.size());
  LVCOLUMNW last{};
  last.mask = LVCF_WIDTH;
  ListView_InsertColumn(overviewList_, spare, &last);
  int sum = 0;
  for (int column = 0; column < static_cast<int>(kColumns.size()); ++column) {
    ListView_SetColumnWidth(overviewList_, column, LVSCW_AUTOSIZE_USEHEADER);
    const int header = ListView_GetColumnWidth(overviewList_, column);
    ListView_SetColumnWidth(overviewList_, column, LVSCW_AUTOSIZE);
    const int content = ListView_GetColumnWidth(overviewList_, column);
    ListView_SetColumnWidth(overviewList_, column, std::max(header, content) + scale_(kColumnPadding));
    sum += ListView_GetColumnWidth(overviewList_, column);
  }
  ListView_DeleteColumn(overviewList_, spare);
  return sum;
}

void OverviewDialog::layout(HWND dialog) {
  const int clientWidth = autoSizeColumns() + scale_(kWidthPadding);
  RECT frame{0, 0, clientWidth, 0};
  AdjustWindowRectEx(&frame, kStyle, FALSE, WS_EX_DLGMODALFRAME);
  SetWindowPos(dialog, nullptr, left_, top_, frame.right - frame.left, height_, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  GetClientRect(dialog, &client);
  const int panelTop = client.bottom - scale_(kPanelHeight);
  place(overviewList_, {0, 0, client.right, panelTop});
  place(okButton_, {scale_(kOkButton.x), panelTop + scale_(kOkButton.y), scale_(kOkButton.width), scale_(kOkButton.height)});
}

}  // namespace zorvik::win
