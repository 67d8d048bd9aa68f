// The main dialog. It owns everything that outlives one call: the three
// registry records, the update marks, the backups of the component being
// updated and the two controls. Its operations are spread over one file per
// concern (survey/, payload/, update/).
#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"
#include "resources/resource.h"
#include "survey/components.h"
#include "update/backup_set.h"

#include <string>

struct BackupTable;
struct SequenceStep;
struct UpdateSequence;

class CPatch_Veltris5v13Dlg : public CDialog {
public:
    enum { IDD = IDD_PATCH_VELTRIS5V13_DIALOG };

    explicit CPatch_Veltris5v13Dlg(HWND parent = nullptr);

    // Start-up checks: fills the list and the marks, may refuse or warn.
    BOOL runStartupChecks();
    // A click in the component list flips the mark of the selection-mark row.
    void toggleUpdateMark();

    // Install steps: each replaces one group of product files.
    BOOL installBrenix();
    BOOL installQuorra();
    BOOL installSulvet();
    BOOL installDravel();
    BOOL installFenmor();
    BOOL installHalvinor();
    BOOL installMerisca();
    BOOL installPublicFenmor();
    BOOL installIndexingTables(std::string directory);
    BOOL installDisplayFormats(std::string directory);
    BOOL installBulletinTemplate(std::string directory);
    BOOL migrateDisplayFormatConfig(std::string directory);

    // Backups of one component and their restoration or removal.
    bool backupFile(const std::string& installed, const std::string& backup);
    bool backupProfessionalComponent();
    bool backupPublicComponent();
    bool backupAdministrationModule();
    void restoreBackups();
    void deleteBackups();

    // The update sequences; each returns the line for the report.
    std::string updateProfessionalComponent();
    std::string updatePublicComponent();
    std::string updateAdministrationModule();

    // "Actualizar": updates every marked component and reports.
    void runUpdate();
    // What would stop the update of the marked components (files held by
    // another program, read-only files, disks short of space), as the text
    // of the box that names it; empty when nothing is in the way.
    std::string describeObstacles();

    InstalledComponent& record(ComponentKind kind);
    int& updateMark(ComponentKind kind);

    BackupSet m_backupSet;
    InstalledComponent m_professional;
    InstalledComponent m_administration;
    InstalledComponent m_public;
    CImageList m_checkImages;
    CListCtrl m_componentList;
    CProgressCtrl m_progress;
    int m_updateProfessional = 0;
    int m_updateAdministration = 0;
    int m_updatePublic = 0;
    HICON m_appIcon = nullptr;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnSysCommand(UINT id, LPARAM lParam) override;
    bool OnPaint() override;
    HCURSOR OnQueryDragIcon() override;
    bool OnNotify(const NMHDR& header, LRESULT& result) override;

private:
    void addAboutMenuEntry();
    void prepareComponentList();

    // --- update engine internals (update/) ---
    // Backs up every file of the table that exists under `directory`;
    // restores and returns false at the first copy that fails.
    bool backupTable(const std::string& directory, const BackupTable& table);
    // Runs one component's steps and returns its report line.
    const char* runSequence(const UpdateSequence& sequence);
    bool runSequenceStep(const SequenceStep& step, const std::string& directory);
    // --- end of update engine internals ---
};
