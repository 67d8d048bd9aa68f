// The install steps on fake installations: the module rule, the per-file
// rule, the first failure stopping a step, and the configuration copies.
#include "app/Patch_Veltris5v13Dlg.h"
#include "payload/catalogue.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const std::string kOld = "release 1.6.05\r\n";

class InstallSteps : public ::testing::Test {
protected:
    ScratchDir pro, pub;
    CPatch_Veltris5v13Dlg dlg;
    std::string proDir = pro.path() + "\\";

    void SetUp() override {
        dlg.m_professional.installDir = proDir;
        dlg.m_public.installDir = pub.path() + "\\";
    }
    // Where the steps write: the directory followed directly by the target.
    std::string at(const std::string& target) const { return proDir + target; }
};

TEST_F(InstallSteps, ModuleNotInstalledIsLeftAlone) {
    writeFile(at("ravdb.dll"), kOld);
    EXPECT_TRUE(dlg.installBrenix());
    EXPECT_EQ(kOld, readFileOr(at("ravdb.dll")));
    EXPECT_FALSE(exists(at("nimbodbc.dll")));
}

TEST_F(InstallSteps, InstalledModuleGetsAllItsFilesMissingCompanionsIncluded) {
    writeFile(at("brenix.exe"), kOld);
    writeFile(at("ravdb.dll"), kOld);
    ASSERT_TRUE(dlg.installBrenix());
    for (const CatalogueEntry& e : entriesOf(InstallStep::brenix))
        EXPECT_EQ(payloadContent(e.id), readFileOr(at(e.target))) << e.target;

    writeFile(at("quorra.exe"), kOld);
    ASSERT_TRUE(dlg.installQuorra());
    EXPECT_EQ(payloadContent(3006), readFileOr(at("quorra.exe.manifest")));
}

TEST_F(InstallSteps, FailingCompanionStopsTheModuleStep) {
    writeFile(at("brenix.exe"), kOld);
    makeDirs(at("ravdb.dll"));  // a folder where the library belongs
    EXPECT_FALSE(dlg.installBrenix());
    EXPECT_EQ(payloadContent(3002), readFileOr(at("brenix.exe")));
    EXPECT_FALSE(exists(at("nimbodbc.dll")));
    EXPECT_FALSE(exists(at("veltriscommon.dll")));
}

TEST_F(InstallSteps, FolderInPlaceOfTheKeyExecutableFailsTheStep) {
    makeDirs(at("sulvet.exe"));
    EXPECT_FALSE(dlg.installSulvet());
}

TEST_F(InstallSteps, DirectoryWithoutTrailingSeparatorFindsNoModule) {
    writeFile(at("dravel.exe"), kOld);
    dlg.m_professional.installDir = pro.path();
    EXPECT_TRUE(dlg.installDravel());
    EXPECT_EQ(kOld, readFileOr(at("dravel.exe")));
}

TEST_F(InstallSteps, ProfessionalAndPublicFenmorDifferAndShareTheManifest) {
    writeFile(at("fenmor.exe"), kOld);
    writeFile(pub / "fenmor.exe", kOld);
    ASSERT_TRUE(dlg.installFenmor());
    ASSERT_TRUE(dlg.installPublicFenmor());
    EXPECT_EQ(payloadContent(3013), readFileOr(at("fenmor.exe")));
    EXPECT_EQ(payloadContent(3043), readFileOr(pub / "fenmor.exe"));
    EXPECT_NE(readFileOr(at("fenmor.exe")), readFileOr(pub / "fenmor.exe"));
    EXPECT_EQ(payloadContent(3014), readFileOr(at("fenmor.exe.manifest")));
    EXPECT_EQ(payloadContent(3014), readFileOr(pub / "fenmor.exe.manifest"));
}

TEST_F(InstallSteps, PerFileStepsReplaceOnlyWhatExists) {
    EXPECT_TRUE(dlg.installDisplayFormats(proDir));
    EXPECT_TRUE(findFiles(pro.path(), ".pft").empty());

    CatalogueRange formats = entriesOf(InstallStep::displayFormats);
    for (const CatalogueEntry& e : formats)
        if (std::string(e.target) != "\\pft\\cat\\cdaut.pft") writeFile(at(e.target), kOld);
    ASSERT_TRUE(dlg.installDisplayFormats(proDir));
    EXPECT_FALSE(exists(at("\\pft\\cat\\cdaut.pft")));
    for (const CatalogueEntry& e : formats)
        if (std::string(e.target) != "\\pft\\cat\\cdaut.pft") {
            EXPECT_EQ(payloadContent(e.id), readFileOr(at(e.target))) << e.target;
        }
    // 3027 and 3028 each land in both authority folders.
    EXPECT_EQ(readFileOr(at("\\pft\\pac\\autorida\\cdaut.pft")), readFileOr(at("\\pft\\pac\\autorida\\ord_pft\\cdaut.pft")));
    EXPECT_EQ(payloadContent(3028), readFileOr(at("\\pft\\pac\\autorida\\ord_pft\\resumo.pft")));
}

TEST_F(InstallSteps, FailingFileStopsThePerFileStepWhereItIs) {
    CatalogueRange formats = entriesOf(InstallStep::displayFormats);
    for (const CatalogueEntry& e : formats) writeFile(at(e.target), kOld);
    const CatalogueEntry& tenth = formats.first[9];
    removeTree(at(tenth.target));
    makeDirs(at(tenth.target));
    EXPECT_FALSE(dlg.installDisplayFormats(proDir));
    for (size_t i = 0; i < formats.count; ++i) {
        const CatalogueEntry& e = formats.first[i];
        if (i < 9) {
            EXPECT_EQ(payloadContent(e.id), readFileOr(at(e.target))) << e.target;
        } else if (i > 9) {
            EXPECT_EQ(kOld, readFileOr(at(e.target))) << e.target;
        }
    }
}

TEST_F(InstallSteps, TablesAndTemplateFollowThePerFileRule) {
    writeFile(at("\\Bases\\clean_db\\velt5aut.fst"), kOld);
    writeFile(at("\\modelos\\BOLETIM_CDU.xml"), kOld);
    ASSERT_TRUE(dlg.installIndexingTables(proDir));
    ASSERT_TRUE(dlg.installBulletinTemplate(proDir));
    EXPECT_FALSE(exists(at("\\Bases\\clean_db\\velt5.fst")));
    EXPECT_EQ(payloadContent(3004), readFileOr(at("\\Bases\\clean_db\\velt5aut.fst")));
    EXPECT_EQ(payloadContent(3012), readFileOr(at("\\Modelos\\boletim_cdu.xml")));
}

class ConfigCopy : public InstallSteps {};

TEST_F(ConfigCopy, CopiesEachPresentFileAndNeverOverwrites) {
    writeFile(at("\\confvis.txt"), "formats\r\n");
    writeFile(at("\\confvisaut.txt"), "authority formats\r\n");
    writeFile(at("\\FormatosVisualizacao.cfg"), "kept\r\n");
    EXPECT_TRUE(dlg.migrateDisplayFormatConfig(proDir));
    EXPECT_EQ("kept\r\n", readFileOr(at("\\FormatosVisualizacao.cfg")));
    EXPECT_EQ("authority formats\r\n", readFileOr(at("\\FormatosVisualizacaoAut.cfg")));
    EXPECT_EQ("formats\r\n", readFileOr(at("\\confvis.txt")));
}

TEST_F(ConfigCopy, OnlyTheSecondSourcePresent) {
    writeFile(at("\\confvisaut.txt"), "authority formats\r\n");
    EXPECT_TRUE(dlg.migrateDisplayFormatConfig(proDir));
    EXPECT_FALSE(exists(at("\\FormatosVisualizacao.cfg")));
    EXPECT_EQ("authority formats\r\n", readFileOr(at("\\FormatosVisualizacaoAut.cfg")));
    EXPECT_TRUE(dlg.migrateDisplayFormatConfig(pub.path() + "\\"));
}

// A copy that should have been made and could not be is reported, so the
// user hears of it; the other copy is still made.
TEST_F(ConfigCopy, CopyThatCouldNotBeMadeIsReported) {
    makeDirs(at("\\confvis.txt"));
    writeFile(at("\\confvisaut.txt"), "authority formats\r\n");
    EXPECT_FALSE(dlg.migrateDisplayFormatConfig(proDir));
    EXPECT_FALSE(exists(at("\\FormatosVisualizacao.cfg")));
    EXPECT_EQ("authority formats\r\n", readFileOr(at("\\FormatosVisualizacaoAut.cfg")));
}

}  // namespace
