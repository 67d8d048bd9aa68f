#include "framework/controls.h"

#include "framework/app.h"
#include "framework/common_controls.h"

BOOL CImageList::Create(UINT bitmapId, int cx, int grow, COLORREF mask) {
    const fw::CommonControls* controls = fw::commonControls();
    list_.reset(controls ? controls->imageListLoadImage(AfxGetInstanceHandle(), MAKEINTRESOURCEA(bitmapId), cx, grow,
                                                        mask, IMAGE_BITMAP, LR_CREATEDIBSECTION)
                         : nullptr);
    return list_.valid();
}

int CListCtrl::InsertColumn(int column, const char* heading, int format, int width, int subItem) const {
    LVCOLUMNA col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = format;
    col.cx = width;
    col.pszText = const_cast<char*>(heading);
    col.iSubItem = subItem;
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&col)));
}

int CListCtrl::InsertItem(int index, const char* text, int image, LPARAM data) const {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<char*>(text);
    item.iImage = image;
    item.lParam = data;
    return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::SetItem(int index, int subItem, UINT mask, const char* text, int image) const {
    LVITEMA item{};
    item.mask = mask;
    item.iItem = index;
    item.iSubItem = subItem;
    item.pszText = const_cast<char*>(text);
    item.iImage = image;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::SetItemText(int index, int subItem, const char* text) const {
    LVITEMA item{};
    item.iSubItem = subItem;
    item.pszText = const_cast<char*>(text);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item)));
}

std::string CListCtrl::GetItemText(int index, int subItem) const {
    char buffer[1024] = {};
    LVITEMA item{};
    item.iSubItem = subItem;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    LRESULT length = SendMessage(LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    return std::string(buffer, static_cast<size_t>(length));
}

int CListCtrl::GetItemImage(int index) const {
    LVITEMA item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    return SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) ? item.iImage : -1;
}

DWORD_PTR CListCtrl::GetItemData(int index) const {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    return SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) ? static_cast<DWORD_PTR>(item.lParam) : 0;
}

HIMAGELIST CListCtrl::SetImageList(const CImageList& list, int which) const {
    return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(list.GetSafeHandle())));
}
