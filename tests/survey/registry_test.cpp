// Reading the product's records from the (Wine) registry, the database-system
// agreement, the write-access probe and the version write.
#include "survey/registry.h"
#include "tests/support/test_support.h"

#include "framework/handles.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const char kPro[] = "SOFTWARE\\Veltris5";
const char kPub[] = "SOFTWARE\\Veltris5\\Publico";
const char kAdm[] = "SOFTWARE\\Veltris5\\Administracao";

struct Read {
    bool ok;
    InstalledComponent pro, adm, pub;
    std::string message;
};

Read readAll() {
    Read r;
    r.pro.version = r.adm.version = r.pub.version = "stale";
    r.message = "stale";
    r.ok = readInstalledComponents(r.pro, r.adm, r.pub, r.message);
    return r;
}

class RegistryRead : public ::testing::Test {
protected:
    CleanRegistry clean;
};

TEST_F(RegistryRead, NoProductKeyMeansNothingInstalled) {
    Read r = readAll();
    EXPECT_TRUE(r.ok);
    EXPECT_EQ("", r.message);
    EXPECT_FALSE(r.pro.installed());
    EXPECT_FALSE(r.pub.installed());
    EXPECT_FALSE(r.adm.installed());
}

TEST_F(RegistryRead, ReadsAllThreeRecordsExactlyAsStored) {
    registerComponent(kPro, "1.6.05", "C:\\V5\\Pro", "Isis-Access");
    registerComponent(kPub, "1.6.02", "C:\\V5\\Pub\\", "IsisAccess");
    registerComponent(kAdm, "1.6.07", "D:\\Adm", "Isis_Access");
    Read r = readAll();
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ("1.6.05", r.pro.version);
    EXPECT_EQ("C:\\V5\\Pro", r.pro.installDir);
    EXPECT_EQ("Isis-Access", r.pro.databaseSystem);
    EXPECT_EQ("C:\\V5\\Pub\\", r.pub.installDir);
    EXPECT_EQ("IsisAccess", r.pub.databaseSystem);
    EXPECT_EQ("Isis_Access", r.adm.databaseSystem);
    EXPECT_EQ("1.6.07", r.adm.version);
}

TEST_F(RegistryRead, OnlyPublicComponentUnderAParentWithoutVersion) {
    registerComponent(kPub, "1.6.05", "C:\\Pub", "Isis-Access");
    Read r = readAll();
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ("1.6.05", r.pub.version);
    EXPECT_FALSE(r.pro.installed());
    EXPECT_EQ("", r.pro.installDir);
}

TEST_F(RegistryRead, ProfessionalWithoutVersionIsNotReadFurtherWhenAnotherComponentExists) {
    registerComponent(kAdm, "1.6.05", "C:\\Adm", "Isis-Access");
    // The parent's other values are not read, so a broken one does not matter.
    setRegistryValue(kPro, "SGBD", "Oracle");
    Read r = readAll();
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ("", r.pro.databaseSystem);
}

TEST_F(RegistryRead, ParentWithoutVersionAndNoSubkeysFails) {
    createRegistryKey(kPro);
    Read r = readAll();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("Erro na leitura do registry: não foi possível obter o código da versão!", r.message);
}

// Each missing value names its component and what could not be read. The
// administration key is read before the public one and both before the
// parent, each key's values in the order version, directory, system, so when
// several values are missing the first of them in that order decides.
struct Missing {
    const char* key;
    const char* value;
};

struct MissingValueCase {
    std::vector<Missing> missing;  // the values left out
    const char* message;
};

void PrintTo(const MissingValueCase& c, std::ostream* os) {
    for (const Missing& m : c.missing) *os << m.key << "\\" << m.value << " ";
}

class MissingValue : public RegistryRead, public ::testing::WithParamInterface<MissingValueCase> {};

TEST_P(MissingValue, FailsWithItsMessage) {
    const MissingValueCase& c = GetParam();
    for (const char* key : {kPro, kPub, kAdm}) {
        for (const char* value : {"Versao", "InstallDir", "SGBD"}) {
            bool leftOut = false;
            for (const Missing& m : c.missing)
                leftOut = leftOut || (std::string(key) == m.key && std::string(value) == m.value);
            if (leftOut) continue;
            setRegistryValue(key, value, std::string(value) == "Versao" ? "1.6.05"
                                         : std::string(value) == "SGBD" ? "Isis-Access" : "C:\\X");
        }
    }
    Read r = readAll();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(c.message, r.message);
}

const char kAdmVersion[] =
    "Erro na leitura do registry: não foi possível obter o código da versão da componente de administração!";
const char kAdmDir[] =
    "Erro na leitura do registry: não foi possível obter o local de instalação da componente de administração!";
const char kAdmSystem[] =
    "Erro na leitura do registry: não foi possível obter o tipo de sistema da componente de administração!";
const char kPubVersion[] = "Erro na leitura do registry: não foi possível obter o código da versão da componente pública!";
const char kPubDir[] = "Erro na leitura do registry: não foi possível obter o local de instalação da componente pública!";
const char kPubSystem[] = "Erro na leitura do registry: não foi possível obter o tipo de sistema da componente pública!";
const char kProDir[] = "Erro na leitura do registry: não foi possível obter o local de instalação!";
const char kProSystem[] = "Erro na leitura do registry: não foi possível obter o tipo de sistema!";

INSTANTIATE_TEST_SUITE_P(
    AllComponents, MissingValue,
    ::testing::Values(MissingValueCase{{{kAdm, "Versao"}}, kAdmVersion},
                      MissingValueCase{{{kAdm, "InstallDir"}}, kAdmDir},
                      MissingValueCase{{{kAdm, "SGBD"}}, kAdmSystem},
                      MissingValueCase{{{kPub, "Versao"}}, kPubVersion},
                      MissingValueCase{{{kPub, "InstallDir"}}, kPubDir},
                      MissingValueCase{{{kPub, "SGBD"}}, kPubSystem},
                      MissingValueCase{{{kPro, "InstallDir"}}, kProDir},
                      MissingValueCase{{{kPro, "SGBD"}}, kProSystem},
                      // Several at once: administration before public before professional.
                      MissingValueCase{{{kPro, "InstallDir"}, {kPub, "SGBD"}, {kAdm, "SGBD"}}, kAdmSystem},
                      MissingValueCase{{{kPro, "SGBD"}, {kPub, "Versao"}}, kPubVersion},
                      MissingValueCase{{{kPub, "InstallDir"}, {kAdm, "InstallDir"}}, kAdmDir},
                      MissingValueCase{{{kPro, "InstallDir"}, {kPub, "InstallDir"}}, kPubDir},
                      // Within one key: version, then directory, then system.
                      MissingValueCase{{{kAdm, "SGBD"}, {kAdm, "Versao"}}, kAdmVersion},
                      MissingValueCase{{{kPub, "SGBD"}, {kPub, "InstallDir"}}, kPubDir},
                      MissingValueCase{{{kPro, "SGBD"}, {kPro, "InstallDir"}}, kProDir}));

TEST_F(RegistryRead, DatabaseSystemFallsBackToTheSecondValueName) {
    setRegistryValue(kPro, "Versao", "1.6.05");
    setRegistryValue(kPro, "InstallDir", "C:\\P");
    setRegistryValue(kPro, "SGDB", "Isis_Access");
    Read r = readAll();
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ("Isis_Access", r.pro.databaseSystem);

    setRegistryValue(kPro, "SGBD", "IsisAccess");
    r = readAll();
    EXPECT_EQ("IsisAccess", r.pro.databaseSystem);
}

TEST_F(RegistryRead, ValuesThatDoNotFitTheBufferCountAsMissing) {
    registerComponent(kPro, "1.6.05", std::string(1023, 'd'), "Isis-Access");
    Read r = readAll();
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(1023u, r.pro.installDir.size());

    setRegistryValue(kPro, "InstallDir", std::string(1024, 'd'));
    r = readAll();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("Erro na leitura do registry: não foi possível obter o local de instalação!", r.message);

    // An oversized SGBD is passed over for SGDB.
    setRegistryValue(kPro, "InstallDir", "C:\\P");
    setRegistryValue(kPro, "SGBD", std::string(2000, 's'));
    setRegistryValue(kPro, "SGDB", "Isis-Access");
    r = readAll();
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ("Isis-Access", r.pro.databaseSystem);
}

TEST_F(RegistryRead, DataWithoutTerminatingZeroStopsAtItsLength) {
    registerComponent(kPro, "1.6.05", "C:\\P", "Isis-Access");
    setRegistryBytes(kPro, "Versao", "1.6.07", REG_BINARY);
    setRegistryBytes(kPro, "InstallDir", std::string("C:\\Q\0junk", 9), REG_BINARY);
    Read r = readAll();
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ("1.6.07", r.pro.version);
    EXPECT_EQ("C:\\Q", r.pro.installDir);

    // Data that fill the whole buffer without a zero are read in full.
    for (DWORD type : {static_cast<DWORD>(REG_BINARY), static_cast<DWORD>(REG_SZ)}) {
        setRegistryBytes(kPro, "InstallDir", std::string(1024, 'e'), type);
        r = readAll();
        ASSERT_TRUE(r.ok) << type << ": " << r.message;
        EXPECT_EQ(std::string(1024, 'e'), r.pro.installDir) << type << ": " << r.pro.installDir.size();
    }
}

TEST_F(RegistryRead, EmptyInstallDirOfAListedVersionIsUnreadable) {
    registerComponent(kPub, "1.6.05", "", "Isis-Access");
    Read r = readAll();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("Erro na leitura do registry: não foi possível obter o local de instalação da componente pública!",
              r.message);

    removeProductKeys();
    registerComponent(kPro, "1.6.08", "", "Isis-Access");
    r = readAll();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("Erro na leitura do registry: não foi possível obter o local de instalação!", r.message);

    // Other versions are never written to, so their empty directory is harmless.
    removeProductKeys();
    registerComponent(kAdm, "1.5.10", "", "Isis-Access");
    registerComponent(kPro, "1.6", "", "Isis-Access");
    r = readAll();
    EXPECT_TRUE(r.ok) << r.message;
}

class DatabaseAgreement : public RegistryRead {};

TEST_F(DatabaseAgreement, WrittenFormsOfTheSameSystemAgree) {
    registerComponent(kPro, "1.6.05", "C:\\P", "Isis-Access");
    registerComponent(kAdm, "1.6.05", "C:\\A", "Isis_Access");
    registerComponent(kPub, "1.6.05", "C:\\B", "IsisAccess");
    Read r = readAll();
    EXPECT_TRUE(r.ok) << r.message;
}

TEST_F(DatabaseAgreement, ProfessionalAgainstAdministrationComesFirstAndQuotesTheStoredValues) {
    registerComponent(kPro, "1.6.05", "C:\\P", "Isis-Access");
    registerComponent(kAdm, "1.6.05", "C:\\A", "isis_access");
    registerComponent(kPub, "1.6.05", "C:\\B", "Oracle");
    Read r = readAll();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("Erro: A componente profissional está a funcionar sobre o sistema de base de dados Isis-Access e a "
              "componente de administração sobre o sistema isis_access!\n\nEsta é uma situação anómala e "
              "aconselhamos o contacto com o serviço de helpdesk do VELTRIS5 de modo a resolver a situação.",
              r.message);
}

TEST_F(DatabaseAgreement, PublicAgainstAdministration) {
    registerComponent(kAdm, "1.6.05", "C:\\A", "Isis-Access");
    registerComponent(kPub, "1.6.05", "C:\\B", "SQL-Server");
    Read r = readAll();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("Erro: A componente pública está a funcionar sobre o sistema de base de dados SQL-Server e a "
              "componente de administração sobre o sistema Isis-Access!\n\nEsta é uma situação anómala e "
              "aconselhamos o contacto com o serviço de helpdesk do VELTRIS5 de modo a resolver a situação.",
              r.message);
}

TEST_F(DatabaseAgreement, ProfessionalAndPublicAreNeverComparedAndEmptySystemsTakeNoPart) {
    registerComponent(kPro, "1.6.05", "C:\\P", "Isis-Access");
    registerComponent(kPub, "1.6.05", "C:\\B", "Oracle");
    EXPECT_TRUE(readAll().ok);
    registerComponent(kAdm, "1.6.05", "C:\\A", "");
    EXPECT_TRUE(readAll().ok);
}

TEST_F(RegistryRead, ProbeNeedsTheProductKey) {
    EXPECT_FALSE(probeRegistryWriteAccess());
    createRegistryKey(kPro);
    EXPECT_TRUE(probeRegistryWriteAccess());
}

TEST_F(RegistryRead, WritesExpandableStringsWithTheirTerminatingZero) {
    createRegistryKey(kAdm);
    ASSERT_TRUE(writeRegistryString(kAdm, "Versao", "1.6.08"));
    std::string data;
    DWORD type = 0;
    fw::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAdm, 0, KEY_READ, key.receive()));
    char raw[64];
    DWORD size = sizeof raw;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key.get(), "Versao", nullptr, &type, reinterpret_cast<BYTE*>(raw), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
    EXPECT_EQ(std::string("1.6.08", 7), std::string(raw, size));

    // What was written reads back as the same version.
    setRegistryValue(kAdm, "InstallDir", "C:\\A");
    setRegistryValue(kAdm, "SGBD", "Isis-Access");
    Read r = readAll();
    EXPECT_EQ("1.6.08", r.adm.version);
}

TEST_F(RegistryRead, WriteFailsWhenTheKeyIsMissing) {
    EXPECT_FALSE(writeRegistryString("SOFTWARE\\Veltris5\\Publico", "Versao", "1.6.08"));
    std::string data;
    DWORD type;
    EXPECT_FALSE(readRegistryValue(kPub, "Versao", data, type));
}

TEST(Texts, MessagesAreWindows1252) {
    // "ç" and "ã" of "não" and the accented letters must be single bytes.
    std::string text = kNoRegistryWriteAccessMessage;
    EXPECT_NE(std::string::npos, text.find("n\xE3o tem permiss\xF5" "es"));
}

}  // namespace
