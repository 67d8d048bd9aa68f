#include "update/backup_tables.h"

namespace {

template <size_t N>
constexpr BackupTable tableOf(const BackupEntry (&entries)[N]) {
    return BackupTable{entries, N};
}

// The product's own list first, then every other file the professional steps
// write (the two manifests and the display formats it did not name), so that a
// failed update can put each of them back.
const BackupEntry kProfessionalBackups[] = {
    {"ravdb.dll", "ravdb_back.dll"},
    {"veltriscommon.dll", "veltriscommon_back.dll"},
    {"nimbodbc.dll", "nimbodbc_back.dll"},
    {"brenix.exe", "brenix_back.exe"},
    {"quorra.exe", "quorra_back.exe"},
    {"sulvet.exe", "sulvet_back.exe"},
    {"dravel.exe", "dravel_back.exe"},
    {"fenmor.exe", "fenmor_back.exe"},
    {"halvinor.exe", "halvinor_back.exe"},
    {"merisca.exe", "merisca_back.exe"},
    {"\\pft\\cat\\isbd.pft", "\\pft\\cat\\isbd_back.pft"},
    {"\\pft\\cat\\import\\resumo.pft", "\\pft\\cat\\import\\resumo_back.pft"},
    {"\\pft\\cat\\resumo\\isbd.pft", "\\pft\\cat\\resumo\\isbd_back.pft"},
    {"\\pft\\cat\\xview\\resumo.pft", "\\pft\\cat\\xview\\resumo_back.pft"},
    {"\\pft\\cat\\xview\\isbd.pft", "\\pft\\cat\\xview\\isbd_back.pft"},
    {"\\pft\\cat\\nvalidatedinfo\\isbd.pft", "\\pft\\cat\\nvalidatedinfo\\isbd_back.pft"},
    {"\\pft\\difusao\\detalhado.pft", "\\pft\\difusao\\detalhado_back.pft"},
    {"\\pft\\difusao\\resumo.pft", "\\pft\\difusao\\resumo_back.pft"},
    {"\\pft\\pac\\detalhado.pft", "\\pft\\pac\\detalhado_back.pft"},
    {"\\pft\\pac\\in_detalhado.pft", "\\pft\\pac\\in_detalhado_back.pft"},
    {"\\pft\\pac\\in_resumo.pft", "\\pft\\pac\\in_resumo_back.pft"},
    {"\\pft\\pac\\resumo.pft", "\\pft\\pac\\resumo_back.pft"},
    {"\\pft\\pac\\isbd.pft", "\\pft\\pac\\isbd_back.pft"},
    {"\\pft\\pac\\np405.pft", "\\pft\\pac\\np405_back.pft"},
    {"\\pft\\pac\\ord_pft\\detalhado.pft", "\\pft\\pac\\ord_pft\\detalhado_back.pft"},
    {"\\pft\\pac\\ord_pft\\in_detalhado.pft", "\\pft\\pac\\ord_pft\\in_detalhado_back.pft"},
    {"\\pft\\pac\\ord_pft\\in_resumo.pft", "\\pft\\pac\\ord_pft\\in_resumo_back.pft"},
    {"\\pft\\pac\\ord_pft\\resumo.pft", "\\pft\\pac\\ord_pft\\resumo_back.pft"},
    {"\\pft\\pac\\ord_pft\\isbd.pft", "\\pft\\pac\\ord_pft\\isbd_back.pft"},
    {"\\pft\\pac\\ord_pft\\np405.pft", "\\pft\\pac\\ord_pft\\np405_back.pft"},
    {"\\pft\\use\\titulo.pft", "\\pft\\use\\titulo_back.pft"},
    {"\\modelos\\boletim_cdu.xml", "\\modelos\\boletim_cdu_back.xml"},
    {"\\Bases\\clean_db\\velt5.fst", "\\Bases\\clean_db\\velt5_back.fst"},
    {"\\Bases\\clean_db\\velt5aut.fst", "\\Bases\\clean_db\\velt5aut_back.fst"},
    {"quorra.exe.manifest", "quorra.exe_back.manifest"},
    {"fenmor.exe.manifest", "fenmor.exe_back.manifest"},
    {"\\pft\\cat\\cdaut.pft", "\\pft\\cat\\cdaut_back.pft"},
    {"\\pft\\cat\\import\\isbd.pft", "\\pft\\cat\\import\\isbd_back.pft"},
    {"\\pft\\cat\\xview\\cdaut.pft", "\\pft\\cat\\xview\\cdaut_back.pft"},
    {"\\pft\\cat\\xview\\resumo-a.pft", "\\pft\\cat\\xview\\resumo-a_back.pft"},
    {"\\pft\\cat\\nvalidatedinfo\\cdaut.pft", "\\pft\\cat\\nvalidatedinfo\\cdaut_back.pft"},
    {"\\pft\\pac\\autorida\\cdaut.pft", "\\pft\\pac\\autorida\\cdaut_back.pft"},
    {"\\pft\\pac\\autorida\\resumo.pft", "\\pft\\pac\\autorida\\resumo_back.pft"},
    {"\\pft\\pac\\autorida\\ord_pft\\cdaut.pft", "\\pft\\pac\\autorida\\ord_pft\\cdaut_back.pft"},
    {"\\pft\\pac\\autorida\\ord_pft\\resumo.pft", "\\pft\\pac\\autorida\\ord_pft\\resumo_back.pft"},
};

// The product's own list first, then the manifest and the display formats
// outside the public catalogue that the shared display-format step writes as well.
const BackupEntry kPublicBackups[] = {
    {"\\fenmor.exe", "\\fenmor_back.exe"},
    {"\\pft\\pac\\detalhado.pft", "\\pft\\pac\\detalhado_back.pft"},
    {"\\pft\\pac\\in_detalhado.pft", "\\pft\\pac\\in_detalhado_back.pft"},
    {"\\pft\\pac\\in_resumo.pft", "\\pft\\pac\\in_resumo_back.pft"},
    {"\\pft\\pac\\resumo.pft", "\\pft\\pac\\resumo_back.pft"},
    {"\\pft\\pac\\isbd.pft", "\\pft\\pac\\isbd_back.pft"},
    {"\\pft\\pac\\np405.pft", "\\pft\\pac\\np405_back.pft"},
    {"\\pft\\pac\\ord_pft\\detalhado.pft", "\\pft\\pac\\ord_pft\\detalhado_back.pft"},
    {"\\pft\\pac\\ord_pft\\in_detalhado.pft", "\\pft\\pac\\ord_pft\\in_detalhado_back.pft"},
    {"\\pft\\pac\\ord_pft\\in_resumo.pft", "\\pft\\pac\\ord_pft\\in_resumo_back.pft"},
    {"\\pft\\pac\\ord_pft\\resumo.pft", "\\pft\\pac\\ord_pft\\resumo_back.pft"},
    {"\\pft\\pac\\ord_pft\\isbd.pft", "\\pft\\pac\\ord_pft\\isbd_back.pft"},
    {"\\pft\\pac\\ord_pft\\np405.pft", "\\pft\\pac\\ord_pft\\np405_back.pft"},
    {"\\modelos\\boletim_cdu.xml", "\\modelos\\boletim_cdu_back.xml"},
    {"fenmor.exe.manifest", "fenmor.exe_back.manifest"},
    {"\\pft\\cat\\isbd.pft", "\\pft\\cat\\isbd_back.pft"},
    {"\\pft\\cat\\cdaut.pft", "\\pft\\cat\\cdaut_back.pft"},
    {"\\pft\\cat\\import\\resumo.pft", "\\pft\\cat\\import\\resumo_back.pft"},
    {"\\pft\\cat\\import\\isbd.pft", "\\pft\\cat\\import\\isbd_back.pft"},
    {"\\pft\\cat\\xview\\resumo.pft", "\\pft\\cat\\xview\\resumo_back.pft"},
    {"\\pft\\cat\\xview\\isbd.pft", "\\pft\\cat\\xview\\isbd_back.pft"},
    {"\\pft\\cat\\xview\\cdaut.pft", "\\pft\\cat\\xview\\cdaut_back.pft"},
    {"\\pft\\cat\\xview\\resumo-a.pft", "\\pft\\cat\\xview\\resumo-a_back.pft"},
    {"\\pft\\cat\\nvalidatedinfo\\isbd.pft", "\\pft\\cat\\nvalidatedinfo\\isbd_back.pft"},
    {"\\pft\\cat\\nvalidatedinfo\\cdaut.pft", "\\pft\\cat\\nvalidatedinfo\\cdaut_back.pft"},
    {"\\pft\\difusao\\resumo.pft", "\\pft\\difusao\\resumo_back.pft"},
    {"\\pft\\difusao\\detalhado.pft", "\\pft\\difusao\\detalhado_back.pft"},
    {"\\pft\\pac\\autorida\\cdaut.pft", "\\pft\\pac\\autorida\\cdaut_back.pft"},
    {"\\pft\\pac\\autorida\\resumo.pft", "\\pft\\pac\\autorida\\resumo_back.pft"},
    {"\\pft\\pac\\autorida\\ord_pft\\cdaut.pft", "\\pft\\pac\\autorida\\ord_pft\\cdaut_back.pft"},
    {"\\pft\\pac\\autorida\\ord_pft\\resumo.pft", "\\pft\\pac\\autorida\\ord_pft\\resumo_back.pft"},
    {"\\pft\\Use\\titulo.pft", "\\pft\\Use\\titulo_back.pft"},
};

// The server keeps its historical backup name with a ".dll" ending; the
// administration program, which the update replaces as well, follows it.
const BackupEntry kAdministrationBackups[] = {
    {"QV5Server.exe", "QV5Server_back.dll"},
    {"gestiro.exe", "gestiro_back.exe"},
};

}  // namespace

BackupTable backupTableOf(ComponentKind kind) {
    switch (kind) {
    case ComponentKind::professional:
        return tableOf(kProfessionalBackups);
    case ComponentKind::publicComponent:
        return tableOf(kPublicBackups);
    default:
        return tableOf(kAdministrationBackups);
    }
}
