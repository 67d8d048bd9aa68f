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

TEST(BackupTables, KeepTheServersOwnBackupNameFirst) {
    BackupTable administration = backupTableOf(ComponentKind::administration);
    ASSERT_GE(administration.count, 1u);
    EXPECT_STREQ("QV5Server.exe", administration.first[0].installed);
    EXPECT_STREQ("QV5Server_back.dll", administration.first[0].backup);
}
