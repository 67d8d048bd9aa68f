// The judge of the fault suite, on trees made up here: each state it must call
// a lost file, a broken rule, or fine. A judge that passed everything would
// make the suite pass everything.
#include "tests/faults/verdict.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace faults {
namespace {

using testing_support::CleanRegistry;
using testing_support::ScratchDir;

class Judge : public testing::Test {
protected:
    Judge() : installation_(root_.path()), before_(readTree(root_.path())) {}

    // The tree a completely successful update leaves: every release file new,
    // the configuration copies made.
    Tree allUpdated() const {
        Tree tree = before_;
        for (const InstalledFile& file : installation_.files())
            if (file.inRelease) entry(tree, installation_.pathOf(file.component, file.relative)).content = payload(file.payload);
        for (ComponentKind kind : {ComponentKind::professional, ComponentKind::publicComponent}) {
            add(tree, installation_.pathOf(kind, "FormatosVisualizacao.cfg"),
                entry(tree, installation_.pathOf(kind, "confvis.txt")).content);
            add(tree, installation_.pathOf(kind, "FormatosVisualizacaoAut.cfg"),
                entry(tree, installation_.pathOf(kind, "confvisaut.txt")).content);
        }
        return tree;
    }

    static TreeEntry& entry(Tree& tree, const std::string& path) {
        auto found = tree.find(pathKey(path));
        EXPECT_NE(tree.end(), found) << path;
        return found->second;
    }

    static void add(Tree& tree, const std::string& path, const std::string& content) {
        TreeEntry e;
        e.path = path;
        e.content = content;
        tree[pathKey(path)] = e;
    }

    std::string path(ComponentKind kind, const char* relative) const { return installation_.pathOf(kind, relative); }

    CleanRegistry registry_;
    ScratchDir root_;
    Installation installation_;
    Tree before_;
};

RunAccount updatedAre(bool professional, bool publicComponent, bool administration) {
    RunAccount account;
    account.updated[0] = professional;
    account.updated[1] = publicComponent;
    account.updated[2] = administration;
    return account;
}

TEST_F(Judge, NothingChangedAndNothingUpdatedIsFine) {
    ASSERT_TRUE(installation_.ready());
    Verdict v = judge(installation_, before_, before_, updatedAre(false, false, false));
    EXPECT_TRUE(v.clean()) << testing::PrintToString(v.lostFiles) << testing::PrintToString(v.problems);
}

TEST_F(Judge, EverythingUpdatedIsFine) {
    Verdict v = judge(installation_, before_, allUpdated(), updatedAre(true, true, true));
    EXPECT_TRUE(v.clean()) << testing::PrintToString(v.lostFiles) << testing::PrintToString(v.problems);
}

TEST_F(Judge, TruncatedFileIsLost) {
    Tree after = before_;
    TreeEntry& e = entry(after, path(ComponentKind::professional, "\\pft\\cat\\isbd.pft"));
    e.content.resize(3);
    Verdict v = judge(installation_, before_, after, updatedAre(false, false, false));
    ASSERT_EQ(1u, v.lostFiles.size());
    EXPECT_NE(std::string::npos, v.lostFiles[0].find("isbd.pft"));
}

TEST_F(Judge, PartlyWrittenNewReleaseIsLost) {
    Tree after = allUpdated();
    TreeEntry& e = entry(after, path(ComponentKind::administration, "QV5Server.exe"));
    e.content.resize(e.content.size() / 2);
    Verdict v = judge(installation_, before_, after, updatedAre(true, true, true));
    EXPECT_EQ(1u, v.lostFiles.size());
}

TEST_F(Judge, MissingFileIsLost) {
    Tree after = before_;
    after.erase(pathKey(path(ComponentKind::publicComponent, "fenmor.exe")));
    Verdict v = judge(installation_, before_, after, updatedAre(false, false, false));
    EXPECT_EQ(1u, v.lostFiles.size());
}

TEST_F(Judge, ChangedFileOutsideTheReleaseIsLost) {
    Tree after = before_;
    entry(after, path(ComponentKind::professional, "\\pft\\cat\\resumo\\isbd.pft")).content = "something else";
    Verdict v = judge(installation_, before_, after, updatedAre(false, false, false));
    EXPECT_EQ(1u, v.lostFiles.size());
}

TEST_F(Judge, NewFileInAComponentThatFailedBreaksTheRule) {
    Tree after = before_;
    TreeEntry& e = entry(after, path(ComponentKind::professional, "brenix.exe"));
    e.content = payload(3002);
    Verdict v = judge(installation_, before_, after, updatedAre(false, false, false));
    EXPECT_TRUE(v.lostFiles.empty());
    EXPECT_EQ(1u, v.problems.size());
}

TEST_F(Judge, OldFileInAComponentThatWasUpdatedBreaksTheRule) {
    Tree after = allUpdated();
    entry(after, path(ComponentKind::publicComponent, "\\Modelos\\boletim_cdu.xml")) =
        entry(before_, path(ComponentKind::publicComponent, "\\Modelos\\boletim_cdu.xml"));
    Verdict v = judge(installation_, before_, after, updatedAre(true, true, true));
    EXPECT_EQ(1u, v.problems.size());
}

TEST_F(Judge, BackupLeftWithoutAWordBreaksTheRule) {
    Tree after = before_;
    const std::string old = entry(before_, path(ComponentKind::professional, "quorra.exe.manifest")).content;
    add(after, path(ComponentKind::professional, "quorra.exe_back.manifest"), old);
    RunAccount account = updatedAre(false, false, false);
    EXPECT_EQ(1u, judge(installation_, before_, after, account).problems.size());

    // Named in the restore list, by its installed file: fine.
    account.restoreListed.push_back(installation_.directory(ComponentKind::professional) + "\\quorra.exe.manifest");
    EXPECT_TRUE(judge(installation_, before_, after, account).clean());

    // The restore list names another file of the folder: still unaccounted for.
    account.restoreListed.back() = installation_.directory(ComponentKind::professional) + "\\quorra.exe";
    EXPECT_EQ(1u, judge(installation_, before_, after, account).problems.size());

    // Named in the clean-up list, by itself: fine.
    account.restoreListed.clear();
    account.cleanupListed.push_back(installation_.directory(ComponentKind::professional) +
                                    "\\quorra.exe_back.manifest");
    EXPECT_TRUE(judge(installation_, before_, after, account).clean());
}

TEST_F(Judge, ServerBackupUnderItsOwnExtensionIsAccountedForByTheServer) {
    Tree after = before_;
    add(after, path(ComponentKind::administration, "QV5Server_back.dll"),
        entry(before_, path(ComponentKind::administration, "QV5Server.exe")).content);
    RunAccount account = updatedAre(false, false, false);
    account.restoreListed.push_back(installation_.directory(ComponentKind::administration) + "\\QV5Server.exe");
    EXPECT_TRUE(judge(installation_, before_, after, account).clean());
}

TEST_F(Judge, ListedBackupThatIsNotACopyBreaksTheRule) {
    Tree after = before_;
    add(after, path(ComponentKind::professional, "\\pft\\cat\\isbd_back.pft"), "not the old file");
    RunAccount account = updatedAre(false, false, false);
    account.restoreListed.push_back(installation_.directory(ComponentKind::professional) + "\\\\pft\\cat\\isbd.pft");
    EXPECT_EQ(1u, judge(installation_, before_, after, account).problems.size());
}

TEST_F(Judge, FolderThatBecameAFileBreaksTheRule) {
    Tree before = before_;
    TreeEntry folder;
    folder.path = path(ComponentKind::professional, "brenix_back.exe");
    folder.folder = true;
    before[pathKey(folder.path)] = folder;
    Tree after = before_;
    add(after, folder.path, "a file now");
    Verdict v = judge(installation_, before, after, updatedAre(false, false, false));
    EXPECT_FALSE(v.clean());
}

TEST_F(Judge, ConfigurationCopyWithoutAnUpdateOrMissingAfterOneBreaksTheRule) {
    Tree after = before_;
    add(after, path(ComponentKind::publicComponent, "FormatosVisualizacao.cfg"),
        entry(before_, path(ComponentKind::publicComponent, "confvis.txt")).content);
    EXPECT_EQ(1u, judge(installation_, before_, after, updatedAre(false, false, false)).problems.size());

    Tree updated = allUpdated();
    updated.erase(pathKey(path(ComponentKind::professional, "FormatosVisualizacaoAut.cfg")));
    EXPECT_EQ(1u, judge(installation_, before_, updated, updatedAre(true, true, true)).problems.size());
}

// A release file that was not installed before the run: created by an update
// that went through it must hold the new release; left by one that failed,
// whole or not, it breaks the rule.
TEST_F(Judge, FileCreatedWhereNoneWasIsJudgedByItsComponentsOutcome) {
    struct Case {
        const char* relative;
        ComponentKind kind;
        bool updated;  // all three components, or none
        bool whole;
        bool clean;
    };
    const Case cases[] = {
        {"quorra.exe.manifest", ComponentKind::professional, true, true, true},
        {"quorra.exe.manifest", ComponentKind::professional, false, true, false},
        {"quorra.exe.manifest", ComponentKind::professional, true, false, false},
        {"gestiro.exe", ComponentKind::administration, false, false, false},
        {"gestiro.exe", ComponentKind::administration, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.relative) + (c.updated ? " updated" : " failed") + (c.whole ? "" : ", cut short"));
        const std::string at = path(c.kind, c.relative);
        Tree before = before_;
        before.erase(pathKey(at));
        Tree after = c.updated ? allUpdated() : before_;
        TreeEntry& created = entry(after, at);
        created.content = payload(installation_.find(at)->payload);
        if (!c.whole) created.content.resize(created.content.size() / 3);
        Verdict v = judge(installation_, before, after, updatedAre(c.updated, c.updated, c.updated));
        EXPECT_EQ(c.clean, v.clean()) << testing::PrintToString(v.lostFiles) << testing::PrintToString(v.problems);
        EXPECT_TRUE(v.lostFiles.empty());
    }
}

TEST(ListedPaths, TakesOnePathPerLineAfterTheHeader) {
    std::vector<std::string> paths;
    EXPECT_TRUE(listedPaths("Header:\n\nC:\\a\\b.exe\nC:\\a\\\\c.pft\n", "Header:\n\n", paths));
    EXPECT_EQ((std::vector<std::string>{"C:\\a\\b.exe", "C:\\a\\\\c.pft"}), paths);
    EXPECT_FALSE(listedPaths("Other:\n\nC:\\a\\b.exe\n", "Header:\n\n", paths));
    EXPECT_FALSE(listedPaths("Header:\n\nC:\\a\\b.exe", "Header:\n\n", paths));
    EXPECT_FALSE(listedPaths("Header:\n\n", "Header:\n\n", paths));
}

}  // namespace
}  // namespace faults
