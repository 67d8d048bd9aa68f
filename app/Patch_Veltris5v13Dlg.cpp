#include "app/Patch_Veltris5v13Dlg.h"

#include "app/AboutDlg.h"
#include "framework/app.h"
#include "framework/handles.h"

namespace {

struct ColumnSpec {
    const char* heading;
    int width;
};

const ColumnSpec kColumns[] = {
    {"Componente", 150},
    {"Versão", 50},
    {"Local de instalação", 269},
};

constexpr COLORREF kMaskColour = RGB(255, 0, 0);

}  // namespace

CPatch_Veltris5v13Dlg::CPatch_Veltris5v13Dlg(HWND parent) : CDialog(IDD, parent) {
    // Shared icon of this module; the system frees it with the module.
    m_appIcon = LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

InstalledComponent& CPatch_Veltris5v13Dlg::record(ComponentKind kind) {
    switch (kind) {
    case ComponentKind::professional:
        return m_professional;
    case ComponentKind::publicComponent:
        return m_public;
    default:
        return m_administration;
    }
}

int& CPatch_Veltris5v13Dlg::updateMark(ComponentKind kind) {
    switch (kind) {
    case ComponentKind::professional:
        return m_updateProfessional;
    case ComponentKind::publicComponent:
        return m_updatePublic;
    default:
        return m_updateAdministration;
    }
}

void CPatch_Veltris5v13Dlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LIST1, m_componentList);
    DDX_Control(pDX, IDC_PROGRESS1, m_progress);
}

BOOL CPatch_Veltris5v13Dlg::OnInitDialog() {
    CDialog::OnInitDialog();
    addAboutMenuEntry();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_appIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_appIcon));
    prepareComponentList();
    // When the checks refuse they have posted WM_CLOSE; the dialog manager
    // must not place the focus in a dialog that is about to close.
    return runStartupChecks();
}

void CPatch_Veltris5v13Dlg::addAboutMenuEntry() {
    HMENU menu = GetSystemMenu(FALSE);
    if (!menu) return;
    char text[256] = {};
    if (LoadStringA(AfxGetInstanceHandle(), IDS_ABOUTBOX, text, sizeof text) <= 0 || text[0] == '\0') return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text);
}

void CPatch_Veltris5v13Dlg::prepareComponentList() {
    m_checkImages.Create(IDB_CHECKBOXES, 16, 1, kMaskColour);
    m_componentList.SetImageList(m_checkImages, LVSIL_SMALL);
    // Without LVS_SHAREIMAGELISTS the list view destroys its image lists when
    // it goes; once it holds this one, it is the only owner.
    if (m_checkImages.GetSafeHandle() && m_componentList.GetImageList(LVSIL_SMALL) == m_checkImages.GetSafeHandle())
        m_checkImages.Detach();
    m_componentList.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    for (int i = 0; i < static_cast<int>(sizeof kColumns / sizeof kColumns[0]); ++i)
        m_componentList.InsertColumn(i, kColumns[i].heading, LVCFMT_LEFT, kColumns[i].width, i);
}

void CPatch_Veltris5v13Dlg::toggleUpdateMark() {
    int row = m_componentList.GetSelectionMark();
    if (row != -1) {
        DWORD_PTR data = m_componentList.GetItemData(row);
        if (data <= static_cast<DWORD_PTR>(ComponentKind::administration)) {
            ComponentKind kind = static_cast<ComponentKind>(data);
            int& mark = updateMark(kind);
            mark = mark == 0 ? 1 : 0;
            m_componentList.SetItem(row, 0, LVIF_TEXT | LVIF_IMAGE, componentInfo(kind).label, mark == 1 ? 1 : 0);
        }
    }
    ::EnableWindow(GetDlgItem(IDOK), m_updateProfessional || m_updatePublic || m_updateAdministration);
}

void CPatch_Veltris5v13Dlg::OnOK() { runUpdate(); }

bool CPatch_Veltris5v13Dlg::OnSysCommand(UINT id, LPARAM) {
    if ((id & 0xFFF0) != IDM_ABOUTBOX) return false;
    CAboutDlg about;
    about.DoModal();
    return true;
}

bool CPatch_Veltris5v13Dlg::OnPaint() {
    if (!IsIconic(m_hWnd)) return false;
    fw::PaintContext paint(m_hWnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.dc()), 0);
    int iconWidth = GetSystemMetrics(SM_CXICON);
    int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(m_hWnd, &client);
    int x = (client.right - client.left - iconWidth + 1) / 2;
    int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(paint.dc(), x, y, m_appIcon);
    return true;
}

HCURSOR CPatch_Veltris5v13Dlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_appIcon); }

bool CPatch_Veltris5v13Dlg::OnNotify(const NMHDR& header, LRESULT& result) {
    if (header.idFrom != IDC_LIST1 || header.code != static_cast<UINT>(NM_CLICK)) return false;
    toggleUpdateMark();
    result = 0;
    return true;
}
