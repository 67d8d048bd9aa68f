// The main dialog as it opens: start-up decisions, rows and marks, warnings
// and their order, ticking, the About entry. Runs the real dialog in process
// with message boxes recorded.
#include "app/Patch_Veltris5v13Dlg.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const char kPro[] = "SOFTWARE\\Veltris5";
const char kPub[] = "SOFTWARE\\Veltris5\\Publico";
const char kAdm[] = "SOFTWARE\\Veltris5\\Administracao";

const char kWelcome[] = "Bem vindo à actualização do VELTRIS 5 versão 1.6.08";
const char kTemplateWelcome[] = "Bem vindo à actualização do VELTRIS5 v1.6";
const char kBoth[] =
    "Este computador tem instaladas as componentes profissional e pública do VELTRIS 5!\n\nEmbora ambas as "
    "componentes possam co-existir num computador, normalmente isso deve-se a um erro nos procedimentos de "
    "instalação.\nVerifique se é uma situação pretendida e contacte os serviços de Helpdesk do VELTRIS 5 para mais "
    "esclarecimentos se necessário.";

std::string oldVersion(const std::string& who, const std::string& version) {
    return "Este computador tem a versão 1.6 do VELTRIS5 instalada mas tem " + who +
           " a funcionar numa versão anterior (" + version +
           ").\nVerifique se é uma situação pretendida e contacte os serviços de Helpdesk do VELTRIS 5 para mais "
           "esclarecimentos se necessário.";
}

struct Row {
    std::string label, version, dir;
    int image;
    DWORD_PTR data;
    bool operator==(const Row& o) const {
        return label == o.label && version == o.version && dir == o.dir && image == o.image && data == o.data;
    }
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << "{" << r.label << ", " << r.version << ", " << r.dir << ", image " << r.image << ", data " << r.data
              << "}";
}

std::string windowText(HWND hwnd) {
    char text[512] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// What the open dialog shows, captured inside its modal loop.
struct Screen {
    std::vector<Row> rows;
    std::string welcome;
    bool updateEnabled = false;
    int marks[3] = {};
};

Screen capture(CPatch_Veltris5v13Dlg& dlg) {
    Screen s;
    for (int i = 0; i < dlg.m_componentList.GetItemCount(); ++i)
        s.rows.push_back(Row{dlg.m_componentList.GetItemText(i, 0), dlg.m_componentList.GetItemText(i, 1),
                             dlg.m_componentList.GetItemText(i, 2), dlg.m_componentList.GetItemImage(i),
                             dlg.m_componentList.GetItemData(i)});
    s.welcome = windowText(dlg.GetDlgItem(IDC_WELCOME));
    s.updateEnabled = IsWindowEnabled(dlg.GetDlgItem(IDOK)) != FALSE;
    s.marks[0] = dlg.m_updateProfessional;
    s.marks[1] = dlg.m_updatePublic;
    s.marks[2] = dlg.m_updateAdministration;
    return s;
}

class StartupChecks : public ::testing::Test {
protected:
    CleanRegistry clean;
    MessageBoxRecorder boxes;
    CPatch_Veltris5v13Dlg dlg;
    Screen screen;

    INT_PTR open(std::function<void()> also = nullptr) {
        return runModal(dlg, [&] {
            screen = capture(dlg);
            if (also) also();
        });
    }

    // Clicks a row the way the list reports it: the selection mark moves to
    // the row, then the list notifies the click.
    void click(int row) {
        if (row >= 0) {
            LVITEMA item{};
            item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
            dlg.m_componentList.SendMessage(LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
            dlg.m_componentList.SetSelectionMark(row);
        }
        NMITEMACTIVATE notice{};
        notice.hdr.hwndFrom = dlg.m_componentList.m_hWnd;
        notice.hdr.idFrom = IDC_LIST1;
        notice.hdr.code = NM_CLICK;
        notice.iItem = row;
        SendMessageA(dlg.m_hWnd, WM_NOTIFY, IDC_LIST1, reinterpret_cast<LPARAM>(&notice));
    }
};

TEST_F(StartupChecks, NoComponentInstalled) {
    EXPECT_EQ(IDCANCEL, open([&] { click(-1); }));
    EXPECT_TRUE(screen.rows.empty());
    EXPECT_EQ(kWelcome, screen.welcome);
    EXPECT_FALSE(screen.updateEnabled);
    EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(StartupChecks, OlderListedComponentIsTickedAndEnablesUpdate) {
    registerComponent(kPro, "1.6.05", "C:\\Veltris5\\", "Isis_Access");
    open();
    ASSERT_EQ(1u, screen.rows.size());
    EXPECT_EQ((Row{"Componente Profissional", "1.6.05", "C:\\Veltris5\\", 1, 0}), screen.rows[0]);
    EXPECT_TRUE(screen.updateEnabled);
    EXPECT_EQ(1, screen.marks[0]);
    EXPECT_EQ(kWelcome, screen.welcome);
    EXPECT_TRUE(boxes.calls.empty());
}

// Versions compare as byte strings: only what sorts below "1.6.08" is ticked.
TEST_F(StartupChecks, VersionsCompareByteByByte) {
    struct Case {
        const char* version;
        int mark;
    };
    for (Case c : {Case{"1.6.07", 1}, Case{"1.6.0", 1}, Case{"1.6.08", 0}, Case{"1.6.1", 0}, Case{"1.6.080", 0},
                   Case{"1.6.08a", 0}, Case{"1.6.", 1},
                   // Bytes of 0x80 and above sort after the digits.
                   Case{"1.6.\x80", 0}, Case{"1.6.0\xE9", 0}}) {
        removeProductKeys();
        registerComponent(kAdm, c.version, "C:\\Adm", "IsisAccess");
        CPatch_Veltris5v13Dlg fresh;
        Screen s;
        runModal(fresh, [&] { s = capture(fresh); });
        ASSERT_EQ(1u, s.rows.size()) << c.version;
        EXPECT_EQ(c.mark, s.marks[2]) << c.version;
        EXPECT_EQ(c.mark, s.rows[0].image) << c.version;
        EXPECT_EQ(c.mark == 1, s.updateEnabled) << c.version;
    }
}

TEST_F(StartupChecks, VersionsOutsideTheSeriesAreNotListed) {
    for (const char* version : {"1.6", "1.60", "1.7.01", "2.0", "10.0"}) {
        removeProductKeys();
        boxes.calls.clear();
        registerComponent(kPro, version, "C:\\P", "Oracle");
        CPatch_Veltris5v13Dlg fresh;
        Screen s;
        EXPECT_EQ(IDCANCEL, runModal(fresh, [&] { s = capture(fresh); }));
        EXPECT_TRUE(s.rows.empty()) << version;
        EXPECT_TRUE(boxes.calls.empty()) << version;
        EXPECT_FALSE(s.updateEnabled);
    }
}

TEST_F(StartupChecks, ClickingARowTwiceRestoresItsMarkAndUpdateFollowsTheMarks) {
    registerComponent(kPro, "1.6.08", "C:\\P\\", "Isis-Access");
    registerComponent(kAdm, "1.6.08", "C:\\A\\", "Isis-Access");
    std::vector<Screen> steps;
    open([&] {
        click(1);
        steps.push_back(capture(dlg));
        click(0);
        steps.push_back(capture(dlg));
        click(1);
        steps.push_back(capture(dlg));
        click(0);
        steps.push_back(capture(dlg));
        // A click on no row acts on the row holding the selection mark.
        click(-1);
        steps.push_back(capture(dlg));
    });
    ASSERT_EQ(2u, screen.rows.size());
    EXPECT_FALSE(screen.updateEnabled);
    EXPECT_EQ((Row{"Módulo de Administração", "1.6.08", "C:\\A\\", 1, 2}), steps[0].rows[1]);
    EXPECT_TRUE(steps[0].updateEnabled);
    EXPECT_EQ(1, steps[1].marks[0]);
    EXPECT_EQ(1, steps[1].rows[0].image);
    EXPECT_TRUE(steps[2].updateEnabled);
    EXPECT_EQ(0, steps[2].marks[2]);
    EXPECT_EQ(0, steps[3].rows[0].image);
    EXPECT_FALSE(steps[3].updateEnabled);
    EXPECT_EQ(1, steps[4].marks[0]);
    EXPECT_TRUE(steps[4].updateEnabled);
    EXPECT_EQ("Componente Profissional", steps[4].rows[0].label);
}

// Only a row that names a component flips a mark; "Actualizar" is still
// recomputed from the marks.
TEST_F(StartupChecks, RowWhoseItemDataNamesNoComponentChangesNoMark) {
    registerComponent(kPro, "1.6.05", "C:\\P", "Isis-Access");
    std::vector<Screen> after;
    const LPARAM foreign[] = {3, 7, -1};
    open([&] {
        for (LPARAM data : foreign) {
            LVITEMA item{};
            item.mask = LVIF_PARAM;
            item.lParam = data;
            dlg.m_componentList.SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
            ::EnableWindow(dlg.GetDlgItem(IDOK), FALSE);
            click(0);
            after.push_back(capture(dlg));
        }
    });
    ASSERT_EQ(3u, after.size());
    for (size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(foreign[i]);
        EXPECT_EQ((std::vector<int>{1, 0, 0}), (std::vector<int>{after[i].marks[0], after[i].marks[1], after[i].marks[2]}));
        EXPECT_EQ(1, after[i].rows.at(0).image);
        EXPECT_TRUE(after[i].updateEnabled);
    }
}

// Exactly the three written forms are accepted: others that strip down to
// the same letters are refused like any other system.
TEST_F(StartupChecks, OnlyTheThreeWrittenFormsOfIsisAccessAreAccepted) {
    struct Case {
        const char* system;
        bool accepted;
    };
    for (Case c : {Case{"Isis-Access", true}, Case{"Isis_Access", true}, Case{"IsisAccess", true},
                   Case{"Isis--Access", false}, Case{"I-sisAccess", false}, Case{"Isis-_Access", false},
                   Case{"isis-access", false}, Case{"Isis-Access ", false}}) {
        removeProductKeys();
        boxes.calls.clear();
        registerComponent(kPub, "1.6.05", "C:\\B", c.system);
        CPatch_Veltris5v13Dlg fresh;
        Screen s;
        runModal(fresh, [&] { s = capture(fresh); });
        if (c.accepted) {
            EXPECT_EQ(1u, s.rows.size()) << c.system;
            EXPECT_TRUE(boxes.calls.empty()) << c.system;
        } else {
            EXPECT_EQ((std::vector<std::string>{std::string("Este update destina-se a versões Isis-Access do VELTRIS 5 e "
                                                            "tem instalada a versão ") +
                                                c.system + ". Este update não pode ser usado."}),
                      boxes.texts())
                << c.system;
        }
    }
}

TEST_F(StartupChecks, ReadFailureIsShownAndTheDialogClosesWithoutInput) {
    registerComponent(kPub, "1.6.05", "C:\\Pub", "Isis-Access");
    setRegistryValue(kAdm, "Versao", "1.6.05");
    std::string welcomeWhenShown;
    boxes.onShow = [&](const fw::MessageBoxCall& call) { welcomeWhenShown = windowText(GetDlgItem(call.owner, IDC_WELCOME)); };
    bool opened = false;
    EXPECT_EQ(IDCANCEL, open([&] { opened = true; }));
    EXPECT_FALSE(opened);
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ("Erro na leitura do registry: não foi possível obter o local de instalação da componente de "
              "administração!",
              boxes.calls[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes.calls[0].type);
    EXPECT_EQ(kTemplateWelcome, welcomeWhenShown);
}

TEST_F(StartupChecks, UnacceptedDatabaseSystemIsRefusedAfterEarlierRowsWereAdded) {
    registerComponent(kPro, "1.6.05", "C:\\P", "Isis-Access");
    registerComponent(kPub, "1.6.05", "C:\\B", "");
    int rowsWhenRefused = -1;
    boxes.onShow = [&](const fw::MessageBoxCall&) { rowsWhenRefused = dlg.m_componentList.GetItemCount(); };
    EXPECT_EQ(IDCANCEL, open());
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ("Este update destina-se a versões Isis-Access do VELTRIS 5 e tem instalada a versão . Este update não "
              "pode ser usado.",
              boxes.calls[0].text);
    EXPECT_EQ(1, rowsWhenRefused);
}

TEST_F(StartupChecks, DisagreementWithTheAdministrationModuleComesBeforeTheRefusal) {
    registerComponent(kPub, "1.6.05", "C:\\B", "Oracle");
    registerComponent(kAdm, "1.6.05", "C:\\A", "Isis-Access");
    EXPECT_EQ(IDCANCEL, open());
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ(0u, boxes.calls[0].text.find("Erro: A componente pública está a funcionar sobre o sistema de base de "
                                           "dados Oracle e a componente de administração sobre o sistema Isis-Access!"));
}

TEST_F(StartupChecks, OldVersionsWarnProfessionalThenAdministrationThenPublic) {
    registerComponent(kPro, "1.5.10", "C:\\P", "Isis-Access");
    registerComponent(kPub, "1.6.02", "C:\\B", "Isis-Access");
    registerComponent(kAdm, "1.4.9", "C:\\A", "Isis-Access");
    EXPECT_EQ(IDCANCEL, open());
    ASSERT_EQ(1u, screen.rows.size());
    EXPECT_EQ("Componente Pública", screen.rows[0].label);
    EXPECT_EQ((std::vector<std::string>{oldVersion("a componente profissional", "1.5.10"),
                                         oldVersion("o módulo de administração", "1.4.9")}),
              boxes.texts());
}

TEST_F(StartupChecks, PublicOldVersionWithoutTheBothComponentsMessage) {
    registerComponent(kPro, "1.6.07", "C:\\P", "Isis-Access");
    registerComponent(kPub, "1.5.02", "C:\\B", "Isis-Access");
    open();
    ASSERT_EQ(1u, screen.rows.size());
    EXPECT_EQ((std::vector<std::string>{oldVersion("a componente pública", "1.5.02")}), boxes.texts());
}

TEST_F(StartupChecks, AllThreeOldShowsNoOldVersionWarning) {
    registerComponent(kPro, "1.5.10", "C:\\P", "Isis-Access");
    registerComponent(kPub, "1.5.10", "C:\\B", "Isis-Access");
    registerComponent(kAdm, "1.5.10", "C:\\A", "Isis-Access");
    open();
    EXPECT_TRUE(screen.rows.empty());
    EXPECT_FALSE(screen.updateEnabled);
    // Professional and public of the same series still get their warning.
    EXPECT_EQ((std::vector<std::string>{kBoth}), boxes.texts());
}

TEST_F(StartupChecks, ProfessionalAndPublicTogetherWarnAfterTheListIsFilled) {
    registerComponent(kPro, "1.6.07", "C:\\P", "Isis-Access");
    registerComponent(kPub, "1.6.02", "C:\\B", "Isis-Access");
    int rowsWhenWarned = -1;
    boxes.onShow = [&](const fw::MessageBoxCall&) { rowsWhenWarned = dlg.m_componentList.GetItemCount(); };
    open();
    ASSERT_EQ(2u, screen.rows.size());
    EXPECT_EQ((Row{"Componente Pública", "1.6.02", "C:\\B", 1, 1}), screen.rows[1]);
    EXPECT_EQ((std::vector<std::string>{kBoth}), boxes.texts());
    EXPECT_EQ(2, rowsWhenWarned);
}

TEST_F(StartupChecks, AcceptedFormsAgreeAndAdministrationIsTheSecondRow) {
    registerComponent(kPro, "1.6.07", "C:\\P", "IsisAccess");
    registerComponent(kAdm, "1.6.07", "C:\\A", "Isis-Access");
    open();
    ASSERT_EQ(2u, screen.rows.size());
    EXPECT_EQ((Row{"Módulo de Administração", "1.6.07", "C:\\A", 1, 2}), screen.rows[1]);
    EXPECT_TRUE(boxes.calls.empty());
}

class MainDialog : public StartupChecks {};

TEST_F(MainDialog, ControlsAreSetUpAsTheListNeeds) {
    registerComponent(kPro, "1.6.05", "C:\\P", "Isis-Access");
    DWORD extended = 0;
    std::vector<std::pair<std::string, int>> columns;
    std::vector<int> alignments;
    bool progressVisible = true;
    int images = 0;
    HIMAGELIST listImages = nullptr;
    LRESULT dragIcon = 0;
    std::string caption;
    open([&] {
        extended = static_cast<DWORD>(dlg.m_componentList.SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE));
        for (int i = 0; i < 3; ++i) {
            char text[64] = {};
            LVCOLUMNA col{};
            col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
            col.pszText = text;
            col.cchTextMax = sizeof text;
            dlg.m_componentList.SendMessage(LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&col));
            columns.emplace_back(text, col.cx);
            alignments.push_back(col.fmt & LVCFMT_JUSTIFYMASK);
        }
        progressVisible = IsWindowVisible(dlg.m_progress.m_hWnd) != FALSE;
        listImages = dlg.m_componentList.GetImageList(LVSIL_SMALL);
        images = ImageList_GetImageCount(listImages);
        dragIcon = SendMessageA(dlg.m_hWnd, WM_QUERYDRAGICON, 0, 0);
        caption = windowText(dlg.m_hWnd);
    });
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_FULLROWSELECT), extended);
    EXPECT_EQ((std::vector<std::pair<std::string, int>>{{"Componente", 150}, {"Versão", 50}, {"Local de instalação", 269}}),
              columns);
    EXPECT_EQ((std::vector<int>{LVCFMT_LEFT, LVCFMT_LEFT, LVCFMT_LEFT}), alignments);
    EXPECT_FALSE(progressVisible);
    EXPECT_EQ(2, images);
    // The list view destroyed its image list with the control; the dialog
    // must not hold it too, or it is destroyed a second time.
    EXPECT_NE(nullptr, listImages);
    EXPECT_NE(listImages, dlg.m_checkImages.GetSafeHandle());
    EXPECT_EQ(reinterpret_cast<LRESULT>(dlg.m_appIcon), dragIcon);
    EXPECT_NE(nullptr, dlg.m_appIcon);
    EXPECT_EQ("VELTRIS 5", caption);
}

TEST_F(MainDialog, AboutEntryEndsTheSystemMenuAndOpensTheAboutBox) {
    std::string lastItem;
    UINT lastId = 0, separatorType = 0;
    std::string aboutCaption, aboutLine;
    open([&] {
        HMENU menu = GetSystemMenu(dlg.m_hWnd, FALSE);
        int count = GetMenuItemCount(menu);
        char text[128] = {};
        GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
        lastItem = text;
        lastId = GetMenuItemID(menu, count - 1);
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE;
        GetMenuItemInfoA(menu, count - 2, TRUE, &info);
        separatorType = info.fType;

        // The About box runs its own modal loop; a second timer reads and closes it.
        static std::string* captionOut;
        static std::string* lineOut;
        captionOut = &aboutCaption;
        lineOut = &aboutLine;
        // Timer callbacks are __stdcall on x86, which a lambda cannot be.
        struct ReadAbout {
            static void CALLBACK onTimer(HWND, UINT, UINT_PTR id, DWORD) {
                KillTimer(nullptr, id);
                HWND about = GetActiveWindow();
                *captionOut = windowText(about);
                HWND child = FindWindowExA(about, nullptr, "Static", "Update ao VELTRIS5 v1.6.08");
                *lineOut = child ? windowText(child) : "";
                SendMessageA(about, WM_COMMAND, IDOK, 0);
            }
        };
        SetTimer(nullptr, 0, 50, ReadAbout::onTimer);
        SendMessageA(dlg.m_hWnd, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    });
    EXPECT_EQ("&About Patch_Veltris5v13...", lastItem);
    EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), lastId);
    EXPECT_TRUE(separatorType & MFT_SEPARATOR);
    EXPECT_EQ("VELTRIS5 v1.6 (Isis-Access)", aboutCaption);
    EXPECT_EQ("Update ao VELTRIS5 v1.6.08", aboutLine);
}

// The About command is recognised with its low four bits cleared, which the
// system uses internally; any other command gets the default processing.
TEST_F(MainDialog, SystemCommandOpensTheAboutBoxByItsIdWithoutTheLowFourBits) {
    struct Case {
        WPARAM command;
        bool opens;
    };
    const Case cases[] = {{0x0010, true}, {0x0013, true}, {0x001F, true}, {0x0020, false}, {0x0000, false}};
    static std::string seen;
    struct CloseAbout {
        static void CALLBACK onTimer(HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            HWND about = GetActiveWindow();
            seen = windowText(about);
            SendMessageA(about, WM_COMMAND, IDOK, 0);
        }
    };
    std::vector<bool> opened;
    open([&] {
        for (const Case& c : cases) {
            seen.clear();
            UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseAbout::onTimer);
            SendMessageA(dlg.m_hWnd, WM_SYSCOMMAND, c.command, 0);
            KillTimer(nullptr, timer);
            opened.push_back(seen == "VELTRIS5 v1.6 (Isis-Access)");
        }
    });
    ASSERT_EQ(sizeof cases / sizeof cases[0], opened.size());
    for (size_t i = 0; i < opened.size(); ++i) EXPECT_EQ(cases[i].opens, opened[i]) << std::hex << cases[i].command;
}

TEST_F(MainDialog, TextsReachTheWindowsAsWindows1252) {
    registerComponent(kAdm, "1.6.05", "C:\\A", "Isis-Access");
    std::string button, hint;
    open([&] {
        button = windowText(dlg.GetDlgItem(IDOK));
        HWND hintWnd = FindWindowExA(dlg.m_hWnd, nullptr, "Static",
                                     "Carregue em Actualizar para iniciar o processo de actualização:");
        hint = hintWnd ? windowText(hintWnd) : "";
    });
    EXPECT_EQ("Actualizar", button);
    EXPECT_EQ("Carregue em Actualizar para iniciar o processo de actualiza\xE7\xE3o:", hint);
    EXPECT_EQ("M\xF3" "dulo de Administra\xE7\xE3o", screen.rows.at(0).label);
    EXPECT_EQ("Bem vindo \xE0 actualiza\xE7\xE3o do VELTRIS 5 vers\xE3o 1.6.08", screen.welcome);
}

}  // namespace
