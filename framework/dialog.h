// Modal dialogs over the plain dialog manager. A CDialog runs its template
// with DialogBoxParam and routes the few messages the updater handles to
// virtual functions; everything else gets the dialog manager's default.
#pragma once

#include <windows.h>

#include <vector>

class CDialog;

// A window the program talks to through its handle. Controls are bound to
// their dialog items by data exchange; the object does not own the window.
class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, msg, wParam, lParam);
    }
    BOOL ShowWindow(int command) const { return ::ShowWindow(m_hWnd, command); }
    BOOL EnableWindow(BOOL enable) const { return ::EnableWindow(m_hWnd, enable); }

    HWND m_hWnd = nullptr;
};

class CDataExchange {
public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds a control object to the dialog item with this id (once; later
// exchanges leave the binding as it is).
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    ~CDialog() override;

    // Runs the dialog modally; returns the value given to EndDialog, or -1
    // when the dialog could not be created.
    virtual INT_PTR DoModal();
    void EndDialog(int result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    BOOL SetDlgItemText(int id, const char* text) const { return ::SetDlgItemTextA(m_hWnd, id, text); }
    HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
    BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageA(m_hWnd, msg, wParam, lParam);
    }
    int MessageBox(const char* text, const char* caption, UINT type) const;

    // The innermost dialog that is running modally on this thread: the owner
    // of application message boxes.
    static CDialog* activeDialog();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    // Handlers return true when they handled the message; false lets the
    // dialog manager do its default processing.
    virtual bool OnSysCommand(UINT id, LPARAM lParam);
    virtual bool OnPaint();
    virtual HCURSOR OnQueryDragIcon();
    virtual bool OnNotify(const NMHDR& header, LRESULT& result);

private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT msg, WPARAM wParam, LPARAM lParam);

    UINT templateId_;
    HWND parent_;
};
