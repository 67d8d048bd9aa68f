#include "survey/registry.h"

#include "framework/handles.h"
#include "survey/message_text.h"

#include <windows.h>

#include <cstring>

const char kNoRegistryWriteAccessMessage[] =
    "Este utilizador não tem permissões de escrita no registry (HKEY_LOCAL_MACHINE)!\n\n"
    "Use um utilizador com essas permissões, preferencialmente um utilizador que seja administrador "
    "(local ou de rede).";

namespace {

// What to say when one of a component's values cannot be read.
struct ReadFailures {
    const char* version;
    const char* installDir;
    const char* databaseSystem;
};

const ReadFailures kAdministrationFailures = {
    "Erro na leitura do registry: não foi possível obter o código da versão da componente de administração!",
    "Erro na leitura do registry: não foi possível obter o local de instalação da componente de administração!",
    "Erro na leitura do registry: não foi possível obter o tipo de sistema da componente de administração!",
};

const ReadFailures kPublicFailures = {
    "Erro na leitura do registry: não foi possível obter o código da versão da componente pública!",
    "Erro na leitura do registry: não foi possível obter o local de instalação da componente pública!",
    "Erro na leitura do registry: não foi possível obter o tipo de sistema da componente pública!",
};

const ReadFailures kProfessionalFailures = {
    "Erro na leitura do registry: não foi possível obter o código da versão!",
    "Erro na leitura do registry: não foi possível obter o local de instalação!",
    "Erro na leitura do registry: não foi possível obter o tipo de sistema!",
};

const char kProfessionalDisagreement[] =
    "Erro: A componente profissional está a funcionar sobre o sistema de base de dados %s e a componente de "
    "administração sobre o sistema %s!\n\nEsta é uma situação anómala e aconselhamos o contacto com o serviço de "
    "helpdesk do VELTRIS5 de modo a resolver a situação.";

const char kPublicDisagreement[] =
    "Erro: A componente pública está a funcionar sobre o sistema de base de dados %s e a componente de "
    "administração sobre o sistema %s!\n\nEsta é uma situação anómala e aconselhamos o contacto com o serviço de "
    "helpdesk do VELTRIS5 de modo a resolver a situação.";

constexpr DWORD kValueBufferSize = 1024;

// A value that does not fit in the buffer counts as missing. The data need
// not end in a zero byte, so the text stops at the first zero or at the
// length the registry returned, whichever comes first.
bool readValue(HKEY key, const char* name, std::string& out) {
    char buffer[kValueBufferSize];
    DWORD size = kValueBufferSize;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    if (size > kValueBufferSize) size = kValueBufferSize;
    out.assign(buffer, strnlen(buffer, size));
    return true;
}

bool readDatabaseSystem(HKEY key, std::string& out) { return readValue(key, "SGBD", out) || readValue(key, "SGDB", out); }

bool fail(std::string& message, const char* text) {
    message = text;
    return false;
}

enum class KeyRead { absent, read, failed };

// Reads version, install directory and database system of one component
// whose key exists. A listed-series component with an empty install
// directory would later be written relative to the root of the current
// drive, so that directory counts as unreadable.
KeyRead readRecord(HKEY key, InstalledComponent& record, const ReadFailures& failures, std::string& message) {
    if (!readValue(key, "InstallDir", record.installDir) ||
        (record.installDir.empty() && record.version.compare(0, 4, kUpdatableSeries) == 0)) {
        fail(message, failures.installDir);
        return KeyRead::failed;
    }
    if (!readDatabaseSystem(key, record.databaseSystem)) {
        fail(message, failures.databaseSystem);
        return KeyRead::failed;
    }
    return KeyRead::read;
}

KeyRead readComponent(const ComponentInfo& info, InstalledComponent& record, const ReadFailures& failures,
                      std::string& message) {
    fw::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, info.registryKey, 0, KEY_READ, key.receive()) != ERROR_SUCCESS)
        return KeyRead::absent;
    if (!readValue(key.get(), "Versao", record.version)) {
        fail(message, failures.version);
        return KeyRead::failed;
    }
    return readRecord(key.get(), record, failures, message);
}

std::string withoutSeparators(const std::string& text) {
    std::string stripped;
    for (char c : text)
        if (c != '-' && c != '_') stripped += c;
    return stripped;
}

bool disagree(const InstalledComponent& a, const InstalledComponent& b) {
    std::string left = withoutSeparators(a.databaseSystem);
    std::string right = withoutSeparators(b.databaseSystem);
    return !left.empty() && !right.empty() && left != right;
}

}  // namespace

bool readInstalledComponents(InstalledComponent& professional, InstalledComponent& administration,
                             InstalledComponent& publicComponent, std::string& message) {
    professional = administration = publicComponent = InstalledComponent{};
    message.clear();

    if (readComponent(componentInfo(ComponentKind::administration), administration, kAdministrationFailures,
                      message) == KeyRead::failed)
        return false;
    if (readComponent(componentInfo(ComponentKind::publicComponent), publicComponent, kPublicFailures, message) ==
        KeyRead::failed)
        return false;

    // The professional key is also the parent of the other two, so on a machine
    // with only those it exists without a version of its own.
    fw::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, componentInfo(ComponentKind::professional).registryKey, 0, KEY_READ,
                      key.receive()) == ERROR_SUCCESS) {
        if (readValue(key.get(), "Versao", professional.version)) {
            if (readRecord(key.get(), professional, kProfessionalFailures, message) == KeyRead::failed) return false;
        } else if (publicComponent.version.empty() && administration.version.empty()) {
            return fail(message, kProfessionalFailures.version);
        }
    }

    if (disagree(professional, administration))
        return fail(message, formatMessage(kProfessionalDisagreement, professional.databaseSystem,
                                     administration.databaseSystem).c_str());
    if (disagree(publicComponent, administration))
        return fail(message, formatMessage(kPublicDisagreement, publicComponent.databaseSystem,
                                     administration.databaseSystem).c_str());
    return true;
}

bool probeRegistryWriteAccess() {
    fw::RegKey key;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, componentInfo(ComponentKind::professional).registryKey, 0, KEY_SET_VALUE,
                         key.receive()) == ERROR_SUCCESS;
}

bool writeRegistryString(const std::string& keyPath, const std::string& valueName, const std::string& data) {
    fw::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_SET_VALUE, key.receive()) != ERROR_SUCCESS)
        return false;
    return RegSetValueExA(key.get(), valueName.c_str(), 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}
