// Start-up checks: the one place where installed versions and database
// systems are judged.
#include "app/Patch_Veltris5v13Dlg.h"

#include "framework/message_box.h"
#include "survey/message_text.h"
#include "survey/registry.h"

#include <cstring>

namespace {

const char kCurrentSeries[] = "1.6";
const char* const kAcceptedSystems[] = {"Isis-Access", "Isis_Access", "IsisAccess"};
const char kRequiredSystem[] = "Isis-Access";

const char kRefusal[] =
    "Este update destina-se a versões %s do VELTRIS 5 e tem instalada a versão %s. Este update não pode ser usado.";
const char kWelcome[] = "Bem vindo à actualização do VELTRIS 5 versão %s";

#define OLDER_VERSION_MESSAGE(who)                                                                           \
    "Este computador tem a versão 1.6 do VELTRIS5 instalada mas tem " who                                   \
    " a funcionar numa versão anterior (%s).\nVerifique se é uma situação pretendida e contacte os serviços " \
    "de Helpdesk do VELTRIS 5 para mais esclarecimentos se necessário."

// Old-version warnings go professional, administration, public.
struct OldVersionWarning {
    ComponentKind kind;
    const char* text;
};
const OldVersionWarning kOldVersionWarnings[] = {
    {ComponentKind::professional, OLDER_VERSION_MESSAGE("a componente profissional")},
    {ComponentKind::administration, OLDER_VERSION_MESSAGE("o módulo de administração")},
    {ComponentKind::publicComponent, OLDER_VERSION_MESSAGE("a componente pública")},
};

const char kBothComponents[] =
    "Este computador tem instaladas as componentes profissional e pública do VELTRIS 5!\n\n"
    "Embora ambas as componentes possam co-existir num computador, normalmente isso deve-se a um erro nos "
    "procedimentos de instalação.\nVerifique se é uma situação pretendida e contacte os serviços de Helpdesk do "
    "VELTRIS 5 para mais esclarecimentos se necessário.";

// Rows, refusals and marks go professional, public, administration.
const ComponentKind kListOrder[] = {ComponentKind::professional, ComponentKind::publicComponent,
                                    ComponentKind::administration};

// Versions are byte strings: compared by unsigned byte value, never parsed.
int compareBytes(const std::string& a, const std::string& b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    int c = std::memcmp(a.data(), b.data(), n);
    if (c != 0) return c;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// The first n characters; the whole string when it is shorter.
std::string prefix(const std::string& s, size_t n) { return s.substr(0, n); }

bool accepted(const std::string& system) {
    for (const char* form : kAcceptedSystems)
        if (system == form) return true;
    return false;
}

bool isOld(const InstalledComponent& c) {
    return c.version.size() >= 3 && compareBytes(prefix(c.version, 3), kCurrentSeries) < 0;
}

// The first three characters, counting a shorter version as empty.
std::string seriesOf(const std::string& version) { return version.size() < 3 ? std::string() : prefix(version, 3); }

}  // namespace

BOOL CPatch_Veltris5v13Dlg::runStartupChecks() {
    m_updateProfessional = m_updatePublic = m_updateAdministration = 0;

    std::string message;
    if (!readInstalledComponents(m_professional, m_administration, m_public, message)) {
        AfxMessageBox(message.c_str());
        PostMessage(WM_CLOSE);
        return FALSE;
    }

    int lastRow = -1;
    for (ComponentKind kind : kListOrder) {
        const InstalledComponent& c = record(kind);
        if (c.version.empty() || prefix(c.version, 4) != kUpdatableSeries) continue;
        if (!accepted(c.databaseSystem)) {
            AfxMessageBox(formatMessage(kRefusal, kRequiredSystem, c.databaseSystem).c_str());
            PostMessage(WM_CLOSE);
            return FALSE;
        }
        int& mark = updateMark(kind);
        mark = compareBytes(c.version, kTargetVersion) < 0 ? 1 : 0;
        int row = m_componentList.InsertItem(lastRow + 1, componentInfo(kind).label, mark == 1 ? 1 : 0,
                                             static_cast<LPARAM>(kind));
        ++lastRow;
        m_componentList.SetItemText(row, 1, c.version.c_str());
        m_componentList.SetItemText(row, 2, c.installDir.c_str());
    }

    SetDlgItemText(IDC_WELCOME, formatMessage(kWelcome, kTargetVersion).c_str());
    if (!m_updateProfessional && !m_updatePublic && !m_updateAdministration) ::EnableWindow(GetDlgItem(IDOK), FALSE);

    bool allOld = isOld(m_professional) && isOld(m_public) && isOld(m_administration);
    if (!allOld) {
        for (const OldVersionWarning& warning : kOldVersionWarnings) {
            const InstalledComponent& c = record(warning.kind);
            if (isOld(c)) AfxMessageBox(formatMessage(warning.text, c.version).c_str());
        }
    }

    if (!m_professional.version.empty() && !m_public.version.empty() &&
        seriesOf(m_professional.version) == seriesOf(m_public.version))
        AfxMessageBox(kBothComponents);

    return TRUE;
}
