#include "payload/catalogue.h"

// The release's files, step by step, each step's files in the order it writes
// them. Sizes are those of the payloads embedded in resources/payloads.
const CatalogueEntry kCatalogue[] = {
    {InstallStep::brenix, "brenix.exe", 3002, 1482752, 348541},
    {InstallStep::brenix, "ravdb.dll", 3009, 53248, 17454},
    {InstallStep::brenix, "nimbodbc.dll", 3010, 24576, 5079},
    {InstallStep::brenix, "veltriscommon.dll", 3042, 614400, 115062},
    {InstallStep::quorra, "quorra.exe", 3005, 2361856, 684063},
    {InstallStep::quorra, "quorra.exe.manifest", 3006, 653, 325},
    {InstallStep::sulvet, "sulvet.exe", 3011, 1665536, 466483},
    {InstallStep::dravel, "dravel.exe", 3044, 2628096, 827259},
    {InstallStep::fenmor, "fenmor.exe", 3013, 2805760, 665483},
    {InstallStep::fenmor, "fenmor.exe.manifest", 3014, 650, 324},
    {InstallStep::halvinor, "halvinor.exe", 3007, 512000, 60176},
    {InstallStep::merisca, "merisca.exe", 3008, 1146880, 435146},
    {InstallStep::publicFenmor, "fenmor.exe", 3043, 2805760, 665695},
    {InstallStep::publicFenmor, "fenmor.exe.manifest", 3014, 650, 324},
    {InstallStep::indexingTables, "\\Bases\\clean_db\\velt5.fst", 3003, 11149, 2247},
    {InstallStep::indexingTables, "\\Bases\\clean_db\\velt5aut.fst", 3004, 5347, 1074},
    {InstallStep::displayFormats, "\\pft\\cat\\isbd.pft", 3018, 16641, 4065},
    {InstallStep::displayFormats, "\\pft\\cat\\cdaut.pft", 3015, 3028, 736},
    {InstallStep::displayFormats, "\\pft\\cat\\import\\resumo.pft", 3017, 2936, 824},
    {InstallStep::displayFormats, "\\pft\\cat\\import\\isbd.pft", 3016, 15539, 3925},
    {InstallStep::displayFormats, "\\pft\\cat\\xview\\resumo.pft", 3024, 3169, 838},
    {InstallStep::displayFormats, "\\pft\\cat\\xview\\isbd.pft", 3022, 15822, 3953},
    {InstallStep::displayFormats, "\\pft\\cat\\xview\\cdaut.pft", 3021, 2215, 682},
    {InstallStep::displayFormats, "\\pft\\cat\\xview\\resumo-a.pft", 3023, 625, 261},
    {InstallStep::displayFormats, "\\pft\\cat\\nvalidatedinfo\\isbd.pft", 3020, 15737, 3898},
    {InstallStep::displayFormats, "\\pft\\cat\\nvalidatedinfo\\cdaut.pft", 3019, 2640, 604},
    {InstallStep::displayFormats, "\\pft\\difusao\\resumo.pft", 3026, 762, 322},
    {InstallStep::displayFormats, "\\pft\\difusao\\detalhado.pft", 3025, 2201, 702},
    {InstallStep::displayFormats, "\\pft\\pac\\detalhado.pft", 3029, 4797, 1096},
    {InstallStep::displayFormats, "\\pft\\pac\\in_detalhado.pft", 3030, 4806, 1093},
    {InstallStep::displayFormats, "\\pft\\pac\\in_resumo.pft", 3031, 3270, 871},
    {InstallStep::displayFormats, "\\pft\\pac\\resumo.pft", 3040, 3169, 838},
    {InstallStep::displayFormats, "\\pft\\pac\\isbd.pft", 3032, 15822, 3953},
    {InstallStep::displayFormats, "\\pft\\pac\\np405.pft", 3033, 2802, 864},
    {InstallStep::displayFormats, "\\pft\\pac\\autorida\\cdaut.pft", 3027, 2215, 682},
    {InstallStep::displayFormats, "\\pft\\pac\\autorida\\resumo.pft", 3028, 625, 261},
    {InstallStep::displayFormats, "\\pft\\pac\\ord_pft\\detalhado.pft", 3034, 4795, 1095},
    {InstallStep::displayFormats, "\\pft\\pac\\ord_pft\\in_detalhado.pft", 3035, 4804, 1092},
    {InstallStep::displayFormats, "\\pft\\pac\\ord_pft\\in_resumo.pft", 3036, 3268, 871},
    {InstallStep::displayFormats, "\\pft\\pac\\ord_pft\\resumo.pft", 3039, 3169, 838},
    {InstallStep::displayFormats, "\\pft\\pac\\ord_pft\\isbd.pft", 3037, 15822, 3953},
    {InstallStep::displayFormats, "\\pft\\pac\\ord_pft\\np405.pft", 3038, 2802, 864},
    {InstallStep::displayFormats, "\\pft\\pac\\autorida\\ord_pft\\cdaut.pft", 3027, 2215, 682},
    {InstallStep::displayFormats, "\\pft\\pac\\autorida\\ord_pft\\resumo.pft", 3028, 625, 261},
    {InstallStep::displayFormats, "\\pft\\Use\\titulo.pft", 3041, 103, 72},
    {InstallStep::bulletinTemplate, "\\Modelos\\boletim_cdu.xml", 3012, 637, 269},
    {InstallStep::administration, "gestiro.exe", 3000, 859136, 299506},
    {InstallStep::administration, "QV5Server.exe", 3001, 245760, 103325},
};

const size_t kCatalogueSize = sizeof kCatalogue / sizeof kCatalogue[0];

CatalogueRange entriesOf(InstallStep step) {
    const CatalogueEntry* first = kCatalogue;
    const CatalogueEntry* end = kCatalogue + kCatalogueSize;
    while (first != end && first->step != step) ++first;
    const CatalogueEntry* last = first;
    while (last != end && last->step == step) ++last;
    return CatalogueRange{first, static_cast<size_t>(last - first)};
}

const ConfigCopy kConfigCopies[2] = {
    {"\\confvis.txt", "\\FormatosVisualizacao.cfg"},
    {"\\confvisaut.txt", "\\FormatosVisualizacaoAut.cfg"},
};
