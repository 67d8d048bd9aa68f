#include "framework/dialog.h"

#include "framework/app.h"
#include "framework/common_controls.h"
#include "framework/message_box.h"

#include <commctrl.h>

namespace {

// Dialogs running modally on this thread, innermost last.
std::vector<CDialog*>& runningDialogs() {
    static std::vector<CDialog*> dialogs;
    return dialogs;
}

// The list view and progress bar classes must be registered before a
// template that names them is created.
void registerCommonControls() {
    static bool done = false;
    if (done) return;
    const fw::CommonControls* controls = fw::commonControls();
    if (!controls) return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    done = controls->initCommonControlsEx(&icc) != FALSE;
}

}  // namespace

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd == nullptr) control.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(id);
}

CDialog::CDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() = default;

CDialog* CDialog::activeDialog() {
    auto& dialogs = runningDialogs();
    return dialogs.empty() ? nullptr : dialogs.back();
}

INT_PTR CDialog::DoModal() {
    registerCommonControls();
    auto& dialogs = runningDialogs();
    // A dialog opened from another (the About box from the main dialog) is
    // owned by it, so the one below takes no input until it closes.
    HWND owner = parent_ ? parent_ : (dialogs.empty() ? nullptr : dialogs.back()->m_hWnd);
    dialogs.push_back(this);
    INT_PTR result = DialogBoxParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(templateId_), owner, dialogProc,
                                     reinterpret_cast<LPARAM>(this));
    dialogs.pop_back();
    m_hWnd = nullptr;
    return result;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

int CDialog::MessageBox(const char* text, const char* caption, UINT type) const {
    return fw::showMessageBox(m_hWnd, text, caption, type);
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnSysCommand(UINT, LPARAM) { return false; }

bool CDialog::OnPaint() { return false; }

HCURSOR CDialog::OnQueryDragIcon() { return nullptr; }

bool CDialog::OnNotify(const NMHDR&, LRESULT&) { return false; }

INT_PTR CALLBACK CDialog::dialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CDialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        self->m_hWnd = hwnd;
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    return self ? self->handle(msg, wParam, lParam) : FALSE;
}

INT_PTR CDialog::handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || lParam == 0) {
            switch (LOWORD(wParam)) {
            case IDOK:
                OnOK();
                return TRUE;
            case IDCANCEL:
                OnCancel();
                return TRUE;
            }
        }
        return FALSE;
    case WM_SYSCOMMAND:
        return OnSysCommand(static_cast<UINT>(wParam), lParam) ? TRUE : FALSE;
    case WM_PAINT:
        return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        // One of the messages whose result the dialog procedure returns itself.
        return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result)) return FALSE;
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    default:
        return FALSE;
    }
}
