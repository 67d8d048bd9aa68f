// Backups, restore and clean-up, called on the dialog directly with files of
// a scratch folder; message boxes are recorded instead of shown.
#include "tests/update/update_fixture.h"

#include "framework/app.h"
#include "payload/file_operations.h"
#include "update/backup_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace testing_support;
using namespace update_tests;

namespace {

class Backups : public ::testing::Test {
protected:
    // A second of patience rather than a scanner's five, so that files held
    // for good are given up on sooner.
    struct ShortPatience {
        DWORD was = setPatience(1000);
        ~ShortPatience() { setPatience(was); }
    } patience;
    ScratchDir scratch;
    std::string dir = scratch.path() + "\\";
    CPatch_Veltris5v13Dlg dialog;
    MessageBoxRecorder boxes;

    const BackupSet& set() const { return dialog.m_backupSet; }

    // Installs `name` with its old content and backs it up.
    void backUp(const std::string& name, const std::string& backup) {
        writeFile(dir + name, oldContent(name));
        ASSERT_TRUE(dialog.backupFile(dir + name, dir + backup)) << name;
    }

    void expectOneBox(const std::string& text) {
        ASSERT_EQ(1u, boxes.calls.size());
        EXPECT_EQ(text, boxes.calls[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes.calls[0].type);
        EXPECT_STREQ(AfxGetAppName(), boxes.calls[0].caption.c_str());
    }
};

}  // namespace

// --- one file ---

TEST_F(Backups, AbsentFileIsSkippedAndNotedAsMissing) {
    EXPECT_TRUE(dialog.backupFile(dir + "brenix.exe", dir + "brenix_back.exe"));
    EXPECT_TRUE(set().backupPaths.empty());
    EXPECT_TRUE(set().installedPaths.empty());
    EXPECT_EQ(std::vector<std::string>{dir + "brenix.exe"}, set().missingPaths);
    EXPECT_FALSE(exists(dir + "brenix_back.exe"));
}

// The backup is the file as it was: content, read-only attribute and
// last-write time, so that a restore puts back exactly that.
TEST_F(Backups, PresentFileIsCopiedAndRecordedBackupFirst) {
    writeFile(dir + "brenix.exe", "program");
    writeFile(dir + "brenix_back.exe", "left by an earlier run, longer than the program");
    setAttributes(dir + "brenix.exe", FILE_ATTRIBUTE_READONLY);
    Sleep(50);  // a copy that took the time of its making would show it
    EXPECT_TRUE(dialog.backupFile(dir + "brenix.exe", dir + "brenix_back.exe"));
    WIN32_FILE_ATTRIBUTE_DATA file{}, copy{};
    GetFileAttributesExA((dir + "brenix.exe").c_str(), GetFileExInfoStandard, &file);
    GetFileAttributesExA((dir + "brenix_back.exe").c_str(), GetFileExInfoStandard, &copy);
    EXPECT_EQ(file.dwFileAttributes, copy.dwFileAttributes);
    EXPECT_EQ(0, CompareFileTime(&file.ftLastWriteTime, &copy.ftLastWriteTime));
    setAttributes(dir + "brenix.exe", FILE_ATTRIBUTE_NORMAL);
    setAttributes(dir + "brenix_back.exe", FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ("program", readFileOr(dir + "brenix_back.exe"));
    EXPECT_EQ("program", readFileOr(dir + "brenix.exe"));
    EXPECT_EQ(std::vector<std::string>{dir + "brenix_back.exe"}, set().backupPaths);
    EXPECT_EQ(std::vector<std::string>{dir + "brenix.exe"}, set().installedPaths);
    EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(Backups, FolderAtTheFilesPlaceFailsWithoutRecord) {
    makeDirs(dir + "ravdb.dll");
    EXPECT_FALSE(dialog.backupFile(dir + "ravdb.dll", dir + "ravdb_back.dll"));
    EXPECT_TRUE(set().backupPaths.empty());
    EXPECT_TRUE(set().installedPaths.empty());
}

TEST_F(Backups, PathsOutOfReachOfTheFileFunctionsBehaveAsOnWindows) {
    // Wine opens paths of 260 characters or more; Windows' ANSI functions do not.
    std::string deep = dir + std::string(244 - dir.size(), 'd') + "\\";
    ASSERT_EQ(245u, deep.size());
    std::string outOfReach = deep + "abcdefghijk.exe";  // 260
    std::string atTheLimit = deep + "abcdefghij.exe";   // 259, its backup 264
    writeFile(outOfReach, "program");
    writeFile(atTheLimit, "program");

    EXPECT_TRUE(dialog.backupFile(outOfReach, deep + "abcdefghijk_back.exe"));  // counts as absent
    EXPECT_FALSE(exists(deep + "abcdefghijk_back.exe"));
    EXPECT_FALSE(dialog.backupFile(atTheLimit, deep + "abcdefghij_back.exe"));
    EXPECT_FALSE(exists(deep + "abcdefghij_back.exe"));
    EXPECT_TRUE(set().backupPaths.empty());
}

// A backup left by an earlier run is overwritten as CopyFileA overwrites it.
// Windows refuses to copy over a read-only or a hidden file (Wine as root
// copies over both), and over one that another program holds without sharing
// writes; one held sharing writes (a backup agent, a logging tool) is
// overwritten, and then named for deletion, since it cannot be deleted.
TEST_F(Backups, BackupLeftByAnEarlierRunIsOverwrittenAsCopyFileADoes) {
    struct Case {
        const char* name;
        DWORD attribute;
        DWORD heldSharing;  // how another program holds it open for reading and writing; 0: not held
        bool overwritten;
    };
    const Case cases[] = {
        {"read-only", FILE_ATTRIBUTE_READONLY, 0, false},
        {"hidden", FILE_ATTRIBUTE_HIDDEN, 0, false},
        {"held sharing reading and writing", FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {"held sharing reading only", FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CPatch_Veltris5v13Dlg fresh;
        MessageBoxRecorder recorded;
        writeFile(dir + "sulvet.exe", "program");
        writeFile(dir + "sulvet_back.exe", "earlier");
        setAttributes(dir + "sulvet_back.exe", c.attribute);
        fw::FileHandle held;
        if (c.heldSharing)
            held.reset(CreateFileA((dir + "sulvet_back.exe").c_str(), GENERIC_READ | GENERIC_WRITE, c.heldSharing,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_EQ(c.overwritten, fresh.backupFile(dir + "sulvet.exe", dir + "sulvet_back.exe"));
        EXPECT_EQ(c.overwritten ? 1u : 0u, fresh.m_backupSet.backupPaths.size());
        fresh.deleteBackups();
        held.close();
        EXPECT_EQ(c.overwritten ? "program" : "earlier", readFileOr(dir + "sulvet_back.exe"));
        EXPECT_EQ(c.overwritten ? std::string(kDeleteHeader) + dir + "sulvet_back.exe\n" : "",
                  recorded.calls.empty() ? "" : recorded.calls[0].text);
        setAttributes(dir + "sulvet_back.exe", FILE_ATTRIBUTE_NORMAL);
    }
}

// --- a component ---

TEST_F(Backups, ComponentWithNoneOfItsFilesLeavesNoPairAndNotesEveryFile) {
    dialog.m_professional.installDir = dir;
    EXPECT_TRUE(dialog.backupProfessionalComponent());
    EXPECT_TRUE(set().backupPaths.empty());
    BackupTable table = backupTableOf(ComponentKind::professional);
    ASSERT_EQ(table.count, set().missingPaths.size());
    for (size_t i = 0; i < table.count; ++i) EXPECT_EQ(dir + table.first[i].installed, set().missingPaths[i]);
    EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(Backups, WholeComponentIsCopiedWithThePathsAsJoined) {
    Installation inst(ComponentKind::professional);
    dialog.m_professional.installDir = inst.dir;
    ASSERT_TRUE(dialog.backupProfessionalComponent());
    ASSERT_EQ(inst.files.size(), set().backupPaths.size());
    ASSERT_EQ(set().backupPaths.size(), set().installedPaths.size());
    for (size_t i = 0; i < set().backupPaths.size(); ++i) {
        const std::string& installed = set().installedPaths[i];
        ASSERT_EQ(0u, installed.find(inst.dir));
        EXPECT_EQ(oldContent(installed.substr(inst.dir.size())), readFileOr(set().backupPaths[i])) << installed;
    }
    // An entry with its own leading separator keeps the doubled one.
    EXPECT_NE(set().installedPaths.end(), std::find(set().installedPaths.begin(), set().installedPaths.end(),
                                                    inst.dir + "\\pft\\cat\\isbd.pft"));
    EXPECT_EQ(inst.files.size(), backupFilesUnder(inst).size());
    EXPECT_TRUE(set().missingPaths.empty());
}

// The files a module step may create where they are missing are noted, in
// table order and as joined; the pairs are those of the files present.
TEST_F(Backups, MissingFilesOfTheTableAreNotedBesideThePairs) {
    Installation inst(ComponentKind::administration);
    removeTree(inst / "gestiro.exe");
    dialog.m_administration.installDir = inst.dir;
    ASSERT_TRUE(dialog.backupAdministrationModule());
    EXPECT_EQ(std::vector<std::string>{inst.dir + "QV5Server.exe"}, set().installedPaths);
    EXPECT_EQ(std::vector<std::string>{inst.dir + "gestiro.exe"}, set().missingPaths);

    CPatch_Veltris5v13Dlg professional;
    Installation prof(ComponentKind::professional);
    for (const char* gone : {"quorra.exe.manifest", "nimbodbc.dll"}) removeTree(prof / gone);
    professional.m_professional.installDir = prof.dir;
    ASSERT_TRUE(professional.backupProfessionalComponent());
    EXPECT_EQ((std::vector<std::string>{prof.dir + "nimbodbc.dll", prof.dir + "quorra.exe.manifest"}),
              professional.m_backupSet.missingPaths);
    EXPECT_EQ(prof.files.size() - 2, professional.m_backupSet.backupPaths.size());
}

TEST_F(Backups, ServerIsRecordedUnderItsOwnBackupName) {
    Installation inst(ComponentKind::administration);
    dialog.m_administration.installDir = inst.dir;
    ASSERT_TRUE(dialog.backupAdministrationModule());
    EXPECT_EQ((std::vector<std::string>{inst.dir + "QV5Server_back.dll", inst.dir + "gestiro_back.exe"}),
              set().backupPaths);
    EXPECT_EQ((std::vector<std::string>{inst.dir + "QV5Server.exe", inst.dir + "gestiro.exe"}), set().installedPaths);
}

// A copy failing at the first, a middle and the last entry: the copies made
// before it are put back, the entries after it are never looked at.
TEST_F(Backups, FailedCopyPutsBackWhatWasCopiedAndStops) {
    struct Case {
        const char* blocked;
        size_t recordedBefore;
    };
    const Case cases[] = {
        {"ravdb.dll", 0},
        {"\\pft\\cat\\resumo\\isbd.pft", 12},
        {"\\pft\\pac\\autorida\\ord_pft\\resumo.pft", 44},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blocked);
        CPatch_Veltris5v13Dlg fresh;
        Installation inst(ComponentKind::professional);
        removeTree(inst / c.blocked);
        makeDirs(inst / c.blocked);
        std::vector<std::string> files;
        for (const std::string& f : inst.files)
            if (f != c.blocked) files.push_back(f);
        inst.files = files;
        fresh.m_professional.installDir = inst.dir;

        EXPECT_FALSE(fresh.backupProfessionalComponent());
        EXPECT_EQ(c.recordedBefore, fresh.m_backupSet.backupPaths.size());
        EXPECT_EQ(c.recordedBefore, fresh.m_backupSet.installedPaths.size());
        expectUntouched(inst);
    }
    EXPECT_TRUE(boxes.calls.empty());
}

// --- restore ---

TEST_F(Backups, RestoreWithNothingRecordedDoesNothing) {
    dialog.restoreBackups();
    dialog.deleteBackups();
    EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(Backups, RestorePutsEveryBackupBackSilently) {
    const char* pairs[][2] = {{"ravdb.dll", "ravdb_back.dll"},
                              {"\\pft\\cat\\isbd.pft", "\\pft\\cat\\isbd_back.pft"},
                              {"quorra.exe.manifest", "quorra.exe_back.manifest"}};
    for (auto& p : pairs) backUp(p[0], p[1]);
    for (auto& p : pairs) writeFile(dir + p[0], "new release");
    dialog.restoreBackups();
    for (auto& p : pairs) {
        EXPECT_EQ(oldContent(p[0]), readFileOr(dir + p[0])) << p[0];
        EXPECT_FALSE(exists(dir + p[1])) << p[1];
    }
    EXPECT_TRUE(boxes.calls.empty());
}

// Three of ten pairs cannot go back: one installed file is held open by a
// program, one backup has vanished and one installed file is read-only. The
// others are still restored, and one box lists the three in the set's order.
// A file the update never changed, whose backup is held, is not among them:
// its backup is named for deletion, in a box after the restore's.
TEST_F(Backups, RestoreListsEveryFileThatCouldNotGoBack) {
    std::vector<std::string> names;
    for (int i = 0; i < 10; ++i) {
        std::string name = "\\sub\\file" + std::to_string(i) + ".dat";
        names.push_back(name);
        backUp(name, "\\sub\\file" + std::to_string(i) + "_back.dat");
        if (i != 6) writeFile(dir + name, "new release");
    }
    fw::FileHandle held = holdOpen(dir + names[2]);
    fw::FileHandle heldBackup = holdOpen(dir + "\\sub\\file6_back.dat", FILE_SHARE_READ | FILE_SHARE_WRITE);
    DeleteFileA((dir + "\\sub\\file5_back.dat").c_str());
    setAttributes(dir + names[8], FILE_ATTRIBUTE_READONLY);

    dialog.restoreBackups();
    held.close();
    heldBackup.close();

    ASSERT_EQ(2u, boxes.calls.size());
    EXPECT_EQ(std::string(kRestoreHeader) + dir + names[2] + "\n" + dir + names[5] + "\n" + dir + names[8] + "\n",
              boxes.calls[0].text);
    EXPECT_EQ(std::string(kDeleteHeader) + dir + "\\sub\\file6_back.dat\n", boxes.calls[1].text);
    EXPECT_EQ(oldContent(names[6]), readFileOr(dir + "\\sub\\file6_back.dat"));
    DeleteFileA((dir + "\\sub\\file6_back.dat").c_str());
    for (int i : {0, 1, 3, 4, 6, 7, 9}) {
        EXPECT_EQ(oldContent(names[i]), readFileOr(dir + names[i])) << i;
        EXPECT_FALSE(exists(dir + "\\sub\\file" + std::to_string(i) + "_back.dat")) << i;
    }
    // A pair that could not go back loses nothing: the installed file keeps
    // what it held and the backup stays under its own name.
    for (int i : {2, 5, 8}) EXPECT_EQ("new release", readFileOr(dir + names[i])) << i;
    EXPECT_EQ(oldContent(names[2]), readFileOr(dir + "\\sub\\file2_back.dat"));
    EXPECT_EQ(oldContent(names[8]), readFileOr(dir + "\\sub\\file8_back.dat"));
    EXPECT_EQ(10u, set().backupPaths.size());
    setAttributes(dir + names[8], FILE_ATTRIBUTE_NORMAL);
}

// What the failed update created where the table's files were missing goes
// again; what cannot go is listed after the pairs that failed, in the order
// the files were noted. A file never created, and a folder nobody expects
// the update to make, are left as they are.
TEST_F(Backups, RestoreRemovesWhatTheFailedUpdateCreated) {
    backUp("a.dll", "a_back.dll");
    backUp("b.dll", "b_back.dll");
    const std::string created[] = {"c1.exe.manifest", "c2.dll", "c3.dll", "c4.dll", "c5.dll"};
    for (const std::string& c : created) ASSERT_TRUE(dialog.backupFile(dir + c, dir + "unused_back"));
    ASSERT_EQ(5u, set().missingPaths.size());
    writeFile(dir + "a.dll", "new release");
    writeFile(dir + "b.dll", "new release");
    setAttributes(dir + "b.dll", FILE_ATTRIBUTE_READONLY);
    writeFile(dir + "c1.exe.manifest", "new manifest");
    writeFile(dir + "c3.dll", "trunc");
    setAttributes(dir + "c3.dll", FILE_ATTRIBUTE_READONLY);
    writeFile(dir + "c4.dll", "new release");
    makeDirs(dir + "c5.dll");
    fw::FileHandle held = holdOpen(dir + "c4.dll");

    dialog.restoreBackups();
    held.close();

    expectOneBox(std::string(kRestoreHeader) + dir + "b.dll\n" + dir + "c3.dll\n" + dir + "c4.dll\n");
    EXPECT_EQ(oldContent("a.dll"), readFileOr(dir + "a.dll"));
    EXPECT_FALSE(exists(dir + "c1.exe.manifest"));
    EXPECT_FALSE(exists(dir + "c2.dll"));
    EXPECT_EQ("trunc", readFileOr(dir + "c3.dll"));
    EXPECT_EQ("new release", readFileOr(dir + "c4.dll"));
    EXPECT_TRUE(exists(dir + "c5.dll"));
    EXPECT_EQ(5u, set().missingPaths.size());
    setAttributes(dir + "b.dll", FILE_ATTRIBUTE_NORMAL);
    setAttributes(dir + "c3.dll", FILE_ATTRIBUTE_NORMAL);
}

// A file held for a moment (a scanner reading what was just written) is
// tried again until the patience runs out; a changed file held throughout is
// listed then, and a vanished backup at once. A file the update never changed
// (a running program's, a read-only one) is as it was: not listed nor waited
// for, its backup removed, or named for deletion where it cannot be. A
// read-only backup is the updater's own and is deleted; the product's file
// keeps its attribute.
TEST_F(Backups, OnlyAHeldFileGetsASecondChance) {
    enum class Op { restore, cleanUp };
    enum class Obstacle { heldBriefly, heldThroughout, readOnlyInstalled, vanishedBackup };
    enum class Where { installed, backup, created };
    struct Case {
        const char* name;
        Op op;
        Obstacle obstacle;
        Where where;
        bool listed;
        DWORD atLeastMs;
        DWORD belowMs;
        bool changed = true;  // by the update, before a restore
    };
    const Case cases[] = {
        {"restore, installed file held briefly", Op::restore, Obstacle::heldBriefly, Where::installed, false, 250, 1000},
        {"restore, created file held briefly", Op::restore, Obstacle::heldBriefly, Where::created, false, 250, 1000},
        {"restore, installed file held throughout", Op::restore, Obstacle::heldThroughout, Where::installed, true, 900,
         3000},
        {"restore, untouched file held throughout", Op::restore, Obstacle::heldThroughout, Where::installed, false, 0,
         600, false},
        {"restore, untouched file whose backup is held", Op::restore, Obstacle::heldThroughout, Where::backup, true,
         900, 3000, false},
        {"restore, read-only installed file", Op::restore, Obstacle::readOnlyInstalled, Where::installed, false, 0,
         600},
        {"restore, vanished backup", Op::restore, Obstacle::vanishedBackup, Where::backup, true, 0, 600},
        {"clean-up, backup held briefly", Op::cleanUp, Obstacle::heldBriefly, Where::backup, false, 250, 1000},
        {"clean-up, backup held throughout", Op::cleanUp, Obstacle::heldThroughout, Where::backup, true, 900, 3000},
        {"clean-up, read-only product file", Op::cleanUp, Obstacle::readOnlyInstalled, Where::installed, false, 0,
         600},
        {"clean-up, vanished backup", Op::cleanUp, Obstacle::vanishedBackup, Where::backup, true, 0, 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CPatch_Veltris5v13Dlg fresh;
        MessageBoxRecorder recorded;
        const std::string installed = dir + "isbd.pft";
        const std::string backup = dir + "isbd_back.pft";
        const std::string createdPath = dir + "isbd.pft.manifest";
        writeFile(installed, oldContent("isbd.pft"));
        if (c.obstacle == Obstacle::readOnlyInstalled) setAttributes(installed, FILE_ATTRIBUTE_READONLY);
        ASSERT_TRUE(fresh.backupFile(installed, backup));
        ASSERT_TRUE(fresh.backupFile(createdPath, dir + "unused_back"));
        if (c.op == Op::restore && c.changed && c.obstacle != Obstacle::readOnlyInstalled)
            writeFile(installed, "new release");
        if (c.where == Where::created) writeFile(createdPath, "new manifest");
        if (c.obstacle == Obstacle::vanishedBackup) DeleteFileA(backup.c_str());

        const std::string& obstructed = c.where == Where::installed ? installed
                                        : c.where == Where::backup  ? backup
                                                                    : createdPath;
        fw::FileHandle held;
        std::unique_ptr<BriefHold> brief;
        // No delete sharing: neither a move onto the file nor its deletion can go through.
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        if (c.obstacle == Obstacle::heldThroughout) held = holdOpen(obstructed, share);
        if (c.obstacle == Obstacle::heldBriefly) brief.reset(new BriefHold(holdOpen(obstructed, share), 300));

        const ULONGLONG started = GetTickCount64();
        if (c.op == Op::restore)
            fresh.restoreBackups();
        else
            fresh.deleteBackups();
        const ULONGLONG took = GetTickCount64() - started;
        brief.reset();
        held.close();

        EXPECT_GE(took, c.atLeastMs);
        EXPECT_LT(took, c.belowMs);
        // A backup that cannot go is named for deletion, even by a restore.
        const bool backupListed = c.op == Op::cleanUp || (c.where == Where::backup && !c.changed);
        if (c.listed) {
            ASSERT_EQ(1u, recorded.calls.size());
            EXPECT_EQ(std::string(backupListed ? kDeleteHeader : kRestoreHeader) + (backupListed ? backup : installed) +
                          "\n",
                      recorded.calls[0].text);
            if (c.obstacle != Obstacle::vanishedBackup) {
                EXPECT_EQ(oldContent("isbd.pft"), readFileOr(backup));
            }
        } else {
            EXPECT_TRUE(recorded.calls.empty()) << recorded.calls[0].text;
            EXPECT_FALSE(exists(backup));
            EXPECT_FALSE(exists(createdPath));
            EXPECT_EQ(oldContent("isbd.pft"), readFileOr(installed));
        }
        if (c.obstacle == Obstacle::readOnlyInstalled) {
            EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
                      GetFileAttributesA(installed.c_str()) & FILE_ATTRIBUTE_READONLY);
        }
        for (const std::string& f : {installed, backup, createdPath}) {
            SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(f.c_str());
        }
    }
    EXPECT_TRUE(boxes.calls.empty());
}

// --- clean-up ---

TEST_F(Backups, DeleteRemovesEveryBackupAndKeepsTheInstalledFiles) {
    backUp("a.dll", "a_back.dll");
    backUp("\\pft\\b.pft", "\\pft\\b_back.pft");
    // Created by the update where nothing was: a successful update keeps it.
    ASSERT_TRUE(dialog.backupFile(dir + "a.exe.manifest", dir + "a.exe_back.manifest"));
    writeFile(dir + "a.exe.manifest", "new manifest");
    dialog.deleteBackups();
    EXPECT_EQ("new manifest", readFileOr(dir + "a.exe.manifest"));
    EXPECT_FALSE(exists(dir + "a_back.dll"));
    EXPECT_FALSE(exists(dir + "\\pft\\b_back.pft"));
    EXPECT_EQ(oldContent("a.dll"), readFileOr(dir + "a.dll"));
    EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(Backups, DeleteListsEveryBackupThatStayed) {
    for (int i = 0; i < 6; ++i) backUp("\\m\\f" + std::to_string(i) + ".exe", "\\m\\f" + std::to_string(i) + "_back.exe");
    fw::FileHandle held = holdOpen(dir + "\\m\\f1_back.exe", FILE_SHARE_READ | FILE_SHARE_WRITE);
    setAttributes(dir + "\\m\\f3_back.exe", FILE_ATTRIBUTE_READONLY);
    DeleteFileA((dir + "\\m\\f4_back.exe").c_str());

    dialog.deleteBackups();
    held.close();

    // The read-only backup is the updater's own: it goes like the others.
    expectOneBox(std::string(kDeleteHeader) + dir + "\\m\\f1_back.exe\n" + dir + "\\m\\f4_back.exe\n");
    for (int i : {0, 2, 3, 5}) EXPECT_FALSE(exists(dir + "\\m\\f" + std::to_string(i) + "_back.exe")) << i;
    EXPECT_TRUE(exists(dir + "\\m\\f1_back.exe"));
}
