// The install steps on fake installations: the module rule, the per-file
// rule, the first failure stopping a step, and the configuration copies.
#include "app/Patch_Veltris5v13Dlg.h"
#include "payload/catalogue.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

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

// The tenth display format fails: a folder stands in its place, or it cannot
// be looked at (as Windows answers for a file pending deletion or on a share
// that went away), whether it is there or not. Only "not found" is a file to
// skip; anything else stops the step where it is.
TEST_F(InstallSteps, FailingFileStopsThePerFileStepWhereItIs) {
    struct Case {
        const char* name;
        bool folderInPlace;
        bool present;
        DWORD lookupError;  // ERROR_SUCCESS: looked up as usual
    };
    const Case cases[] = {
        {"folder in its place", true, true, ERROR_SUCCESS},
        {"present, access denied", false, true, ERROR_ACCESS_DENIED},
        {"absent, access denied", false, false, ERROR_ACCESS_DENIED},
        {"present, network path gone", false, true, ERROR_BAD_NETPATH},
        {"absent, network name deleted", false, false, ERROR_NETNAME_DELETED},
    };
    CatalogueRange formats = entriesOf(InstallStep::displayFormats);
    const CatalogueEntry& tenth = formats.first[9];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeTree(at(tenth.target));
        for (const CatalogueEntry& e : formats) writeFile(at(e.target), kOld);
        removeTree(at(tenth.target));
        if (c.folderInPlace) makeDirs(at(tenth.target));
        if (c.present && !c.folderInPlace) writeFile(at(tenth.target), kOld);
        {
            LookupFailure failure(tenth.target, c.lookupError);
            EXPECT_FALSE(dlg.installDisplayFormats(proDir));
        }
        for (size_t i = 0; i < formats.count; ++i) {
            const CatalogueEntry& e = formats.first[i];
            if (i < 9) {
                EXPECT_EQ(payloadContent(e.id), readFileOr(at(e.target))) << e.target;
            } else if (i > 9) {
                EXPECT_EQ(kOld, readFileOr(at(e.target))) << e.target;
            }
        }
        if (!c.folderInPlace) {
            EXPECT_EQ(c.present ? kOld : "<missing>", readFileOr(at(tenth.target)));
        }
    }
}

// The module's executable cannot be looked at: it may be installed, so the
// step fails and writes nothing, not even a companion.
TEST_F(InstallSteps, KeyExecutableThatCannotBeLookedAtFailsTheStep) {
    for (bool present : {true, false}) {
        SCOPED_TRACE(present ? "present" : "absent");
        removeTree(pro.path());
        makeDirs(pro.path());
        if (present) writeFile(at("brenix.exe"), kOld);
        LookupFailure failure("brenix.exe", ERROR_ACCESS_DENIED);
        EXPECT_FALSE(dlg.installBrenix());
        EXPECT_EQ(1, failure.failed());
        EXPECT_EQ(present ? kOld : "<missing>", readFileOr(at("brenix.exe")));
        EXPECT_FALSE(exists(at("ravdb.dll")));
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
// user hears of it; the other copy is still made. Its source is a folder, or
// cannot be looked at (Windows only), or its target is out of reach of the
// ANSI file functions (Wine would make it).
TEST_F(ConfigCopy, CopyThatCouldNotBeMadeIsReported) {
    struct Case {
        const char* name;
        std::function<std::string(const ScratchDir&)> directory;  // with its trailing separator
        bool sourceIsAFolder;
        DWORD lookupError;
    };
    const Case cases[] = {
        {"source is a folder", [](const ScratchDir& d) { return d.path() + "\\"; }, true, ERROR_SUCCESS},
        {"source cannot be looked at", [](const ScratchDir& d) { return d.path() + "\\"; }, false,
         ERROR_ACCESS_DENIED},
        // The source, 13 characters shorter, is within reach.
        {"target of 260 characters",
         [](const ScratchDir& d) {
             std::string base = d.path() + "\\";
             return base + std::string(260 - std::strlen("\\FormatosVisualizacao.cfg") - 1 - base.size(), 'c') +
                    "\\";
         },
         false, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir scratch;
        const std::string directory = c.directory(scratch);
        const std::string target = directory + "\\FormatosVisualizacao.cfg";
        if (c.sourceIsAFolder) {
            makeDirs(directory + "\\confvis.txt");
        } else {
            writeFile(directory + "\\confvis.txt", "formats\r\n");
        }
        writeFile(directory + "\\confvisaut.txt", "authority formats\r\n");
        bool made = false;
        {
            LookupFailure failure("\\confvis.txt", c.lookupError);
            made = dlg.migrateDisplayFormatConfig(directory);
        }
        EXPECT_FALSE(made);
        EXPECT_FALSE(exists(target)) << target.size();
        if (c.lookupError == ERROR_SUCCESS) {
            EXPECT_TRUE(exists(directory + "\\confvis.txt"));
        }
        if (target.size() < 260) {
            EXPECT_EQ("authority formats\r\n", readFileOr(directory + "\\FormatosVisualizacaoAut.cfg"));
        }
    }
}

}  // namespace
