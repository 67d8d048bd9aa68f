// The backup tables against the release catalogue: whatever a component's
// update writes must have a way back.
#include "tests/update/update_fixture.h"
#include "update/backup_tables.h"

#include <gtest/gtest.h>

#include <set>

using namespace update_tests;

namespace {

const ComponentKind kKinds[] = {ComponentKind::professional, ComponentKind::publicComponent,
                                ComponentKind::administration};

// "_back" goes before the last extension of the file name.
std::string backupNameOf(const std::string& installed) {
    std::string::size_type slash = installed.find_last_of('\\');
    std::string::size_type dot = installed.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return installed + "_back";
    return installed.substr(0, dot) + "_back" + installed.substr(dot);
}

}  // namespace

TEST(BackupTables, CoverEveryFileTheComponentsStepsWrite) {
    for (ComponentKind kind : kKinds) {
        std::set<std::string> covered;
        for (const BackupEntry& entry : backupTableOf(kind)) covered.insert(sameFileKey(entry.installed));
        for (InstallStep step : stepsOf(kind))
            for (const CatalogueEntry& target : entriesOf(step))
                EXPECT_EQ(1u, covered.count(sameFileKey(target.target)))
                    << "component " << static_cast<int>(kind) << " writes " << target.target << " without a backup";
    }
}

TEST(BackupTables, HoldTheListedFilesAndNothingTwice) {
    EXPECT_EQ(45u, backupTableOf(ComponentKind::professional).count);
    EXPECT_EQ(32u, backupTableOf(ComponentKind::publicComponent).count);
    EXPECT_EQ(2u, backupTableOf(ComponentKind::administration).count);
    for (ComponentKind kind : kKinds) {
        std::set<std::string> names;
        for (const BackupEntry& entry : backupTableOf(kind)) {
            EXPECT_TRUE(names.insert(sameFileKey(entry.installed)).second) << entry.installed;
            EXPECT_TRUE(names.insert(sameFileKey(entry.backup)).second) << entry.backup;
        }
    }
}

TEST(BackupTables, NameEachBackupWithBackBeforeTheExtension) {
    for (ComponentKind kind : kKinds) {
        for (const BackupEntry& entry : backupTableOf(kind)) {
            if (std::string(entry.installed) == "QV5Server.exe") continue;
            EXPECT_EQ(backupNameOf(entry.installed), entry.backup);
        }
    }
}

// The product's own lists, typed out: each table starts with its list, in
// this order and spelling, so that restore and clean-up meet the files in
// the order the product has always used. The files the product's list left
// out follow them (checked for coverage above).
namespace {

const BackupEntry kProfessionalProductList[] = {
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
};

const BackupEntry kPublicProductList[] = {
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
};

const BackupEntry kAdministrationProductList[] = {
    {"QV5Server.exe", "QV5Server_back.dll"},
};

struct ProductList {
    ComponentKind kind;
    const BackupEntry* entries;
    size_t count;
};

}  // namespace

TEST(BackupTables, BeginWithTheProductsOwnListInItsOrder) {
    const ProductList lists[] = {
        {ComponentKind::professional, kProfessionalProductList, sizeof kProfessionalProductList / sizeof(BackupEntry)},
        {ComponentKind::publicComponent, kPublicProductList, sizeof kPublicProductList / sizeof(BackupEntry)},
        {ComponentKind::administration, kAdministrationProductList,
         sizeof kAdministrationProductList / sizeof(BackupEntry)},
    };
    for (const ProductList& list : lists) {
        BackupTable table = backupTableOf(list.kind);
        ASSERT_GE(table.count, list.count) << static_cast<int>(list.kind);
        for (size_t i = 0; i < list.count; ++i) {
            SCOPED_TRACE("component " + std::to_string(static_cast<int>(list.kind)) + ", entry " +
                         std::to_string(i + 1));
            EXPECT_STREQ(list.entries[i].installed, table.first[i].installed);
            EXPECT_STREQ(list.entries[i].backup, table.first[i].backup);
        }
    }
}
