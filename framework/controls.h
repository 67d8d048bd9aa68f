// Thin wrappers for the common controls the main dialog uses. Each holds the
// handle of a control that belongs to the dialog; only the image list owns
// what it holds, and only until it hands the list over.
#pragma once

#include "framework/dialog.h"
#include "framework/handles.h"

#include <commctrl.h>

#include <string>

class CImageList {
public:
    // Loads a strip of images from a bitmap resource of this module; pixels of
    // the mask colour are transparent.
    BOOL Create(UINT bitmapId, int cx, int grow, COLORREF mask);
    HIMAGELIST GetSafeHandle() const { return list_.get(); }
    // Gives up ownership: for a list that another object now destroys.
    HIMAGELIST Detach() { return list_.release(); }

private:
    fw::ImageListHandle list_;
};

class CListCtrl : public CWnd {
public:
    int InsertColumn(int column, const char* heading, int format, int width, int subItem) const;
    int InsertItem(int index, const char* text, int image, LPARAM data) const;
    BOOL SetItem(int index, int subItem, UINT mask, const char* text, int image) const;
    BOOL SetItemText(int index, int subItem, const char* text) const;
    std::string GetItemText(int index, int subItem) const;
    int GetItemImage(int index) const;
    DWORD_PTR GetItemData(int index) const;
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    int GetSelectionMark() const { return static_cast<int>(SendMessage(LVM_GETSELECTIONMARK)); }
    int SetSelectionMark(int index) const { return static_cast<int>(SendMessage(LVM_SETSELECTIONMARK, 0, index)); }
    HIMAGELIST SetImageList(const CImageList& list, int which) const;
    HIMAGELIST GetImageList(int which) const {
        return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, which));
    }
    DWORD SetExtendedStyle(DWORD style) const {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style));
    }
};

class CProgressCtrl : public CWnd {
public:
    void SetRange(short lower, short upper) const { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)); }
    int SetStep(int step) const { return static_cast<int>(SendMessage(PBM_SETSTEP, step, 0)); }
    int StepIt() const { return static_cast<int>(SendMessage(PBM_STEPIT, 0, 0)); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};
