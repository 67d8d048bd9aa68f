// "Actualizar" on the real dialog: registry records and fake installations in
// scratch folders, the press sent as the button sends it, every message box
// recorded and the progress bar read while the report is up.
#include "tests/update/update_fixture.h"

#include "framework/app.h"
#include "payload/file_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <utility>

using namespace testing_support;
using namespace update_tests;

namespace {

const char kProfessionalHeader[] = "Componente Profissional:\n";
const char kPublicHeader[] = "Componente Pública:\n";
const char kAdministrationHeader[] = "Modulo de Administração:\n";
const char kProfessionalDone[] = "Actualização à componente profissional executada com sucesso.";
const char kPublicDone[] = "Actualização à componente pública executada com sucesso.";
const char kAdministrationDone[] = "Actualização ao Módulo de Administração executada com sucesso.";
const char kRegistryRemark[] = ", no entanto a informação no registry não foi correctamente actualizada.";
const char kReportCaption[] = "Relatório";
const char kNoRights[] =
    "Este utilizador não tem permissões de escrita no registry (HKEY_LOCAL_MACHINE)!\n\nUse um utilizador com "
    "essas permissões, preferencialmente um utilizador que seja administrador (local ou de rede).";

const char kOldVersion[] = "1.6.05";
const char kTarget[] = "1.6.08";

struct ComponentFacts {
    ComponentKind kind;
    const char* header;
    const char* done;
    int share;
};
const ComponentFacts kFacts[] = {
    {ComponentKind::professional, kProfessionalHeader, kProfessionalDone, 120},
    {ComponentKind::publicComponent, kPublicHeader, kPublicDone, 50},
    {ComponentKind::administration, kAdministrationHeader, kAdministrationDone, 40},
};

// A registered component: ticked at start-up when its version is below the
// target, listed but left unticked at the target itself.
void registerAt(ComponentKind kind, const std::string& version, const std::string& dir,
                const std::string& system = "Isis-Access") {
    registerComponent(registryKeyOf(kind), version, dir, system);
}

void expectVersionWritten(ComponentKind kind) {
    DWORD type = 0;
    EXPECT_EQ(kTarget, registryText(registryKeyOf(kind), "Versao", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
}

void expectVersionKept(ComponentKind kind, const char* version) {
    DWORD type = 0;
    EXPECT_EQ(version, registryText(registryKeyOf(kind), "Versao", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
}

void expectReport(const PressOutcome& run, const std::string& text) {
    ASSERT_NE(nullptr, run.report());
    EXPECT_EQ(text, run.report()->text);
    EXPECT_EQ(kReportCaption, run.report()->caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), run.report()->type);
    EXPECT_EQ(run.dialogWindow, run.report()->owner);
    EXPECT_EQ(static_cast<int>(run.boxes.size()) - 1, run.reportIndex) << "the report is the last box";
    EXPECT_EQ(IDOK, run.result);
}

// This program's own import of RegSetValueExA, replaced while a spy is alive:
// every value name set is recorded in order, and the names in `failing` are
// refused without being written, as a registry that denies the write would.
class RegistryWriteSpy {
public:
    RegistryWriteSpy() {
        slot_ = importSlot("advapi32.dll", "RegSetValueExA");
        if (!slot_) return;
        real_ = reinterpret_cast<SetValue>(*slot_);
        instance_ = this;
        replace(reinterpret_cast<void*>(&spy));
    }
    ~RegistryWriteSpy() {
        if (!slot_) return;
        replace(reinterpret_cast<void*>(real_));
        instance_ = nullptr;
    }
    RegistryWriteSpy(const RegistryWriteSpy&) = delete;
    RegistryWriteSpy& operator=(const RegistryWriteSpy&) = delete;

    bool installed() const { return slot_ != nullptr; }
    std::set<std::string> failing;
    std::vector<std::string> written;
    // "name=data" with every byte handed over, the size as given, and the type.
    std::vector<std::string> calls;

private:
    using SetValue = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);

    static LONG WINAPI spy(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
        RegistryWriteSpy& self = *instance_;
        std::string value = name ? name : "";
        self.written.push_back(value);
        self.calls.push_back(value + "=" + std::string(reinterpret_cast<const char*>(data), size) + "/" +
                             std::to_string(type));
        if (self.failing.count(value)) return ERROR_ACCESS_DENIED;
        return self.real_(key, name, reserved, type, data, size);
    }

    // The entry of this executable's import address table through which its
    // calls of `function` in `dll` go.
    static void** importSlot(const char* dll, const char* function) {
        auto base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
        auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (!imports.VirtualAddress) return nullptr;
        for (auto d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
            if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0) continue;
            auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk
                                                                                             : d->FirstThunk));
            auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                    return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
        return nullptr;
    }

    void replace(void* with) {
        DWORD was = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &was);
        *slot_ = with;
        VirtualProtect(slot_, sizeof *slot_, was, &was);
    }

    static RegistryWriteSpy* instance_;
    void** slot_ = nullptr;
    SetValue real_ = nullptr;
};
RegistryWriteSpy* RegistryWriteSpy::instance_ = nullptr;

// The file operations of an update that a power cut could catch, in the
// order they reached the file system, each passed on to Windows. Like
// Windows, and unlike Wine run as root, it will not open a read-only file for
// writing; a flush of a path containing `failingFlush` fails, as on a failing
// disk, and a write to one containing `shortWrite` puts down half of what it
// is given, as on a full disk. Writes need no record: a handle is flushed or
// it is not. With
// `scanFreshBackups`, a scanner takes each backup the moment it is closed,
// sharing reading only, and holds it until the first delete of the run.
class FileOperationLog {
public:
    enum class Kind { create, flush, move, remove };
    // A move's destination, or the file a handle was opened on;
    // a create's disposition or a move's flags.
    struct Entry { Kind kind; std::string path; DWORD flags; };
    std::vector<Entry> entries;
    std::string failingFlush;
    std::string shortWrite;
    bool scanFreshBackups = false;
    // Runs once, when the first backup is opened: the check before the run
    // has passed by then, and no file has been written yet.
    std::function<void()> whenBackingUp;

    FileOperationLog() : real_(fileOperations()) {
        log_ = this;
        setFileOperations({create, real_.read, write, flush, close, move, remove});
    }
    ~FileOperationLog() { setFileOperations(real_); }

    // A written file not flushed before the update goes on to another, a
    // flush after a component's backups began to go (the next component
    // starts with a backup copy), a restoring move not written through.
    std::vector<std::string> brokenRules() const {
        std::vector<std::string> broken;
        std::string notOnDisk, deletedBackup;
        for (const Entry& e : entries) {
            const bool written = e.kind == Kind::create && (e.flags == CREATE_ALWAYS || e.flags == CREATE_NEW);
            const bool backup = e.path.find("_back") != std::string::npos;
            if (!notOnDisk.empty() && e.path != notOnDisk)
                broken.push_back("not on disk: " + notOnDisk), notOnDisk.clear();
            if (written) notOnDisk = e.path;
            if (written && backup) deletedBackup.clear();
            if (e.kind == Kind::remove && backup) deletedBackup = e.path;
            if (e.kind == Kind::flush && !deletedBackup.empty())
                broken.push_back("backup deleted before the last flush: " + deletedBackup);
            // A file flushed, or one that goes again (a copy cut short), is off the list.
            if (e.kind == Kind::flush || (e.kind == Kind::remove && e.path == notOnDisk)) notOnDisk.clear();
            if (e.kind == Kind::move && !(e.flags & MOVEFILE_WRITE_THROUGH)) broken.push_back("moved: " + e.path);
        }
        if (!notOnDisk.empty()) broken.push_back("never on disk: " + notOnDisk);
        return broken;
    }

private:
    static FileOperationLog* log_;
    FileOperations real_;
    std::map<HANDLE, std::string> open_;
    std::vector<fw::FileHandle> scanned_;

    static void note(Kind kind, const std::string& path, DWORD flags = 0) {
        log_->entries.push_back({kind, path, flags});
    }
    static HANDLE WINAPI create(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE model) {
        const DWORD attributes = GetFileAttributesA(path);
        if ((access & GENERIC_WRITE) && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return SetLastError(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
        if (log_->whenBackingUp && std::strstr(path, "_back")) std::exchange(log_->whenBackingUp, nullptr)();
        HANDLE file = log_->real_.create(path, access, share, security, disposition, flags, model);
        if (file != INVALID_HANDLE_VALUE) log_->open_[file] = path, note(Kind::create, path, disposition);
        return file;
    }
    static BOOL WINAPI write(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
        const std::string& shortWrite = log_->shortWrite;
        if (!shortWrite.empty() && log_->open_[file].find(shortWrite) != std::string::npos) size /= 2;
        return log_->real_.write(file, data, size, written, overlapped);
    }
    static BOOL WINAPI flush(HANDLE file) {
        const std::string path = log_->open_[file];
        note(Kind::flush, path);
        if (!log_->failingFlush.empty() && path.find(log_->failingFlush) != std::string::npos)
            return SetLastError(ERROR_IO_DEVICE), FALSE;
        return log_->real_.flush(file);
    }
    static BOOL WINAPI close(HANDLE file) {
        const std::string path = log_->open_[file];
        const BOOL closed = log_->real_.close(file);
        if (closed && log_->scanFreshBackups && path.find("_back") != std::string::npos)
            log_->scanned_.emplace_back(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        return closed;
    }
    static BOOL WINAPI move(LPCSTR from, LPCSTR to, DWORD how) {
        return note(Kind::move, to, how), log_->real_.move(from, to, how);
    }
    static BOOL WINAPI remove(LPCSTR path) {
        log_->scanned_.clear();
        return note(Kind::remove, path), log_->real_.remove(path);
    }
};
FileOperationLog* FileOperationLog::log_ = nullptr;

}  // namespace

// Every combination of ticked components, all succeeding: the report's blocks
// in the fixed order with one empty line between them, the bar sized from the
// ticked components and full at the end, the unticked components untouched.
// Along the way: every directory is completed, ticked or not; the module's
// database system, kept under the older value name, gains the current one;
// an existing configuration file is kept without a word.
TEST(UpdateRun, ReportsEachCombinationOfTickedComponents) {
    for (int combination = 1; combination < 8; ++combination) {
        bool ticked[3] = {(combination & 1) != 0, (combination & 2) != 0, (combination & 4) != 0};
        SCOPED_TRACE("professional " + std::to_string(ticked[0]) + ", public " + std::to_string(ticked[1]) +
                     ", administration " + std::to_string(ticked[2]));
        CleanRegistry registry;
        Installation professional(ComponentKind::professional);
        Installation publicPart(ComponentKind::publicComponent);
        Installation administration(ComponentKind::administration);
        const Installation* installs[3] = {&professional, &publicPart, &administration};
        publicPart.add("\\confvis.txt");
        publicPart.add("\\FormatosVisualizacao.cfg");
        std::string bare = professional.dir.substr(0, professional.dir.size() - 1);
        registerAt(ComponentKind::professional, ticked[0] ? kOldVersion : kTarget, bare);
        registerAt(ComponentKind::publicComponent, ticked[1] ? kOldVersion : kTarget, publicPart.dir);
        setRegistryValue(kAdministrationKey, "Versao", ticked[2] ? kOldVersion : kTarget);
        setRegistryValue(kAdministrationKey, "InstallDir", administration.dir);
        setRegistryValue(kAdministrationKey, "SGDB", "Isis_Access");
        // Read-only files, whose copies (a backup, a configuration copy) are
        // read-only too: put on the disk all the same, and left read-only.
        professional.add("\\confvisaut.txt");
        setAttributes(professional / "\\confvisaut.txt", FILE_ATTRIBUTE_READONLY);
        setAttributes(professional / "\\pft\\cat\\resumo\\isbd.pft", FILE_ATTRIBUTE_READONLY);

        CPatch_Veltris5v13Dlg dialog;
        RegistryWriteSpy spy;
        ASSERT_TRUE(spy.installed()) << "no import of RegSetValueExA to stand in for";
        FileOperationLog log;
        // No backup is opened a second time: a scanner holding each fresh one,
        // as scanners do once a file is closed, leaves the backups whole.
        log.scanFreshBackups = true;
        PressOutcome run = pressUpdate(dialog);
        EXPECT_EQ(std::vector<std::string>{}, log.brokenRules());
        if (ticked[0]) {
            const std::string copy = professional / "\\FormatosVisualizacaoAut.cfg";
            EXPECT_EQ(oldContent("\\confvisaut.txt"), readFileOr(copy));
            EXPECT_TRUE(GetFileAttributesA(copy.c_str()) & FILE_ATTRIBUTE_READONLY);
        }

        std::string expected;
        int range = 0;
        // Every value as handed to the registry, its terminating zero counted.
        const std::string expandable = "/" + std::to_string(REG_EXPAND_SZ);
        std::vector<std::string> written;
        for (int i = 0; i < 3; ++i) {
            if (!ticked[i]) continue;
            if (!expected.empty()) expected += "\n\n";
            expected += std::string(kFacts[i].header) + kFacts[i].done;
            range += kFacts[i].share;
            if (i == 2) written.push_back(std::string("SGBD=Isis-Access", 17) + expandable);
            written.push_back(std::string("Versao=1.6.08", 14) + expandable);
        }
        EXPECT_EQ(written, spy.calls);
        expectReport(run, expected);
        EXPECT_TRUE(run.textsBeforeReport().empty());
        EXPECT_TRUE(run.progressVisibleAtReport);
        EXPECT_EQ(0, run.rangeLowAtReport);
        EXPECT_EQ(range, run.rangeHighAtReport);
        EXPECT_EQ(range, run.positionAtReport);

        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(installs[i]->dir, dialog.record(kFacts[i].kind).installDir);
            if (ticked[i]) {
                expectUpdated(*installs[i], kFacts[i].kind);
                expectVersionWritten(kFacts[i].kind);
            } else {
                expectUntouched(*installs[i]);
                expectVersionKept(kFacts[i].kind, kTarget);
            }
        }
        EXPECT_EQ("Isis_Access", registryText(kAdministrationKey, "SGDB"));
        DWORD type = 0;
        EXPECT_EQ(ticked[2] ? "Isis-Access" : "<missing>", registryText(kAdministrationKey, "SGBD", &type));
        if (ticked[2]) {
            EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
        }

        // Each component's backups are the only ones in the set while it is
        // updated: what is left at the end is the last ticked component's.
        int last = ticked[2] ? 2 : (ticked[1] ? 1 : 0);
        ASSERT_FALSE(dialog.m_backupSet.installedPaths.empty());
        for (const std::string& path : dialog.m_backupSet.installedPaths)
            EXPECT_EQ(0u, path.find(installs[last]->dir)) << path;
    }
}

// A step that fails at each position of each sequence. The file is hidden:
// it can be copied and moved over, but not recreated, so the step fails and
// the restore puts everything back, each file moved back written through. A
// backup or a written file that cannot be put on the disk (a flush that fails,
// a write cut short by a full disk) fails the same way.
TEST(UpdateRun, FailedStepRestoresTheComponentAndReportsThatStep) {
    struct Case {
        ComponentKind kind;
        const char* hidden;
        const char* failure;
        int position;
        const char* failingFlush = nullptr;
        const char* shortWrite = nullptr;
    };
    const Case cases[] = {
        {ComponentKind::professional, "nimbodbc.dll",
         "Erro na actualização do Brenix. O processo não foi concluído com sucesso.", 10},
        {ComponentKind::professional, "quorra.exe.manifest",
         "Erro na actualização do Quorra. O processo não foi concluído com sucesso.", 20},
        {ComponentKind::professional, "sulvet.exe",
         "Erro na actualização do Sulvet. O processo não foi concluído com sucesso.", 30},
        {ComponentKind::professional, "dravel.exe",
         "Erro na actualização do Dravel. O processo não foi concluído com sucesso.", 40},
        {ComponentKind::professional, "fenmor.exe.manifest",
         "Erro na actualização do Fenmor. O processo não foi concluído com sucesso.", 50},
        {ComponentKind::professional, "halvinor.exe",
         "Erro na actualização do Módulo de Difusão. O processo não foi concluído com sucesso.", 60},
        {ComponentKind::professional, "merisca.exe",
         "Erro na actualização do Módulo de Estatísticas. O processo não foi concluído com sucesso.", 70},
        {ComponentKind::professional, "\\Bases\\clean_db\\velt5aut.fst",
         "Erro na actualização das configurações de indexação. O processo não foi concluído com sucesso.", 80},
        {ComponentKind::professional, "\\pft\\pac\\autorida\\ord_pft\\resumo.pft",
         "Erro na actualização dos ficheiros de visualização. O processo não foi concluído com sucesso.", 90},
        {ComponentKind::professional, "\\Modelos\\boletim_cdu.xml",
         "Erro na actualização dos modelos de boletins. O processo não foi concluído com sucesso.", 100},
        {ComponentKind::publicComponent, "fenmor.exe.manifest",
         "Erro na actualização do Fenmor. O processo não foi concluído com sucesso.", 10},
        {ComponentKind::publicComponent, "\\pft\\Use\\titulo.pft",
         "Erro na actualização dos ficheiros de visualização. O processo não foi concluído com sucesso.", 20},
        {ComponentKind::publicComponent, "\\Modelos\\boletim_cdu.xml",
         "Erro na actualização dos modelos de boletins. O processo não foi concluído com sucesso.", 30},
        {ComponentKind::administration, "gestiro.exe", "Erro na actualização do Módulo de Administração.", 10},
        {ComponentKind::administration, "QV5Server.exe", "Erro na actualização do Módulo de Administração.", 20},
        {ComponentKind::professional, nullptr, kBackupFailure, 0, "\\pft\\pac\\isbd_back.pft"},
        {ComponentKind::professional, nullptr,
         "Erro na actualização dos ficheiros de visualização. O processo não foi concluído com sucesso.", 90,
         "\\pft\\pac\\resumo.pft"},
        {ComponentKind::professional, nullptr, kBackupFailure, 0, nullptr, "\\pft\\pac\\isbd_back.pft"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hidden ? c.hidden : c.failingFlush ? c.failingFlush : c.shortWrite);
        const ComponentFacts& facts = kFacts[static_cast<int>(c.kind)];
        CleanRegistry registry;
        Installation inst(c.kind);
        // The configuration copy must not run after a failed step.
        inst.add("\\confvis.txt");
        registerAt(c.kind, kOldVersion, inst.dir);
        if (c.hidden) setAttributes(inst / c.hidden, FILE_ATTRIBUTE_HIDDEN);

        CPatch_Veltris5v13Dlg dialog;
        FileOperationLog log;
        log.failingFlush = c.failingFlush ? c.failingFlush : "";
        log.shortWrite = c.shortWrite ? c.shortWrite : "";
        PressOutcome run = pressUpdate(dialog);
        EXPECT_EQ(std::vector<std::string>{}, log.brokenRules());

        expectReport(run, std::string(facts.header) + c.failure);
        EXPECT_TRUE(run.textsBeforeReport().empty());
        EXPECT_EQ(facts.share, run.rangeHighAtReport);
        EXPECT_EQ(c.position, run.positionAtReport);
        expectUntouched(inst);
        EXPECT_FALSE(exists(inst / "\\FormatosVisualizacao.cfg"));
        expectVersionKept(c.kind, kOldVersion);
        if (c.hidden) setAttributes(inst / c.hidden, FILE_ATTRIBUTE_NORMAL);
    }
}

// Files that programs of the product, started once the check before the run
// has passed, hold open: the display-format step fails on the first, and the
// restore cannot move a backup onto any of them. None was ever changed, so
// none is named for recovery by hand: each keeps its content and attribute,
// and its backup goes like any other.
TEST(UpdateRun, HeldFilesTheUpdateNeverChangedAreNotNamedForRecovery) {
    CleanRegistry registry;
    Installation professional(ComponentKind::professional);
    registerAt(ComponentKind::professional, kOldVersion, professional.dir);
    const char* held[] = {"\\pft\\pac\\ord_pft\\isbd.pft", "\\pft\\pac\\isbd.pft", "\\Modelos\\boletim_cdu.xml"};
    std::vector<fw::FileHandle> handles;
    FileOperationLog log;
    log.whenBackingUp = [&] {
        for (const char* h : held) handles.push_back(holdOpen(professional / h));
    };

    CPatch_Veltris5v13Dlg dialog;
    PressOutcome run = pressUpdate(dialog);
    EXPECT_EQ(3u, handles.size());
    handles.clear();

    expectReport(run, std::string(kProfessionalHeader) +
                          "Erro na actualização dos ficheiros de visualização. O processo não foi concluído com "
                          "sucesso.");
    EXPECT_EQ(90, run.positionAtReport);
    EXPECT_TRUE(run.textsBeforeReport().empty()) << run.textsBeforeReport()[0];
    expectUntouched(professional);
    expectVersionKept(ComponentKind::professional, kOldVersion);
}

// A backup that fails part-way leaves the component as it was and its
// sequence unrun; the components after it are still handled.
TEST(UpdateRun, FailedBackupSkipsOnlyThatComponent) {
    CleanRegistry registry;
    Installation professional(ComponentKind::professional);
    Installation publicPart(ComponentKind::publicComponent);
    Installation administration(ComponentKind::administration);
    // A folder where a file is expected cannot be copied.
    for (auto blocked : {std::make_pair(&professional, "\\pft\\cat\\resumo\\isbd.pft"),
                         std::make_pair(&administration, "gestiro.exe")}) {
        Installation& inst = *blocked.first;
        removeTree(inst / blocked.second);
        makeDirs(inst / blocked.second);
        inst.files.erase(std::find(inst.files.begin(), inst.files.end(), blocked.second));
    }
    registerAt(ComponentKind::professional, kOldVersion, professional.dir);
    registerAt(ComponentKind::publicComponent, kOldVersion, publicPart.dir);
    registerAt(ComponentKind::administration, kOldVersion, administration.dir);

    CPatch_Veltris5v13Dlg dialog;
    PressOutcome run = pressUpdate(dialog);

    expectReport(run, std::string(kProfessionalHeader) + kBackupFailure + "\n\n" + kPublicHeader + kPublicDone +
                          "\n\n" + kAdministrationHeader +
                          "Erro na criação do backup do Módulo de Administração. O processo não foi concluído com "
                          "sucesso.");
    EXPECT_TRUE(run.textsBeforeReport().empty());
    EXPECT_EQ(210, run.rangeHighAtReport);
    EXPECT_EQ(50, run.positionAtReport);
    expectUntouched(professional);
    expectVersionKept(ComponentKind::professional, kOldVersion);
    expectUpdated(publicPart, ComponentKind::publicComponent);
    expectUntouched(administration);
    expectVersionKept(ComponentKind::administration, kOldVersion);
}

// A professional component whose folder is not there, or whose files cannot
// be looked at, is not updated: its backup fails, nothing is written or
// created anywhere, its version stays, and the public component is still
// updated. Before, every file of such a folder counted as missing and the
// component was reported as updated with not one file written.
struct UnreachableCase {
    const char* name;
    // Returns the folder to record, given a full installation and a scratch
    // folder that is the current directory during the run.
    std::function<std::string(Installation&, const std::string& scratch)> recorded;
    const char* failingFragment;  // the lookup of paths containing it fails (Windows only)
    DWORD error;
};

void PrintTo(const UnreachableCase& c, std::ostream* os) { *os << c.name; }

TEST(UpdateRun, ComponentThatCannotBeLookedAtIsNotUpdated) {
    const UnreachableCase cases[] = {
        {"MissingFolder", [](Installation& i, const std::string&) { return i.dir + "gone"; }, nullptr, 0},
        {"FileAtTheFoldersPlace", [](Installation& i, const std::string&) { return i / "brenix.exe"; },
         nullptr, 0},
        {"NameTheFileSystemRefuses", [](Installation& i, const std::string&) { return i.dir + "a|b"; },
         nullptr, 0},
        // Resolved from wherever the updater was started, where a folder of
        // that name holds a program of the product.
        {"UnexpandedVariable",
         [](Installation&, const std::string& scratch) {
             writeFile(scratch + "\\%ProgramFiles%\\Veltris5\\brenix.exe", "elsewhere");
             return std::string("%ProgramFiles%\\Veltris5");
         },
         nullptr, 0},
        {"ShareOutOfReach", [](Installation& i, const std::string&) { return i.dir; }, "\\inst", ERROR_BAD_NETPATH},
        {"FolderBehindAnAccessList", [](Installation& i, const std::string&) { return i.dir; }, "\\inst",
         ERROR_ACCESS_DENIED},
        // One file pending deletion: the folder is there, the file might be.
        {"FileThatCannotBeLookedAt", [](Installation& i, const std::string&) { return i.dir; },
         "inst\\\\pft\\cat\\xview\\isbd.pft", ERROR_ACCESS_DENIED},
        {"AbsentFileThatCannotBeLookedAt",
         [](Installation& i, const std::string&) {
             removeTree(i / "\\pft\\cat\\resumo\\isbd.pft");
             i.files.erase(std::find(i.files.begin(), i.files.end(), "\\pft\\cat\\resumo\\isbd.pft"));
             return i.dir;
         },
         "inst\\\\pft\\cat\\resumo\\isbd.pft", ERROR_ACCESS_DENIED},
    };
    for (const UnreachableCase& c : cases) {
        SCOPED_TRACE(c.name);
        CleanRegistry registry;
        Installation professional(ComponentKind::professional);
        Installation publicPart(ComponentKind::publicComponent, "pub");
        ScratchDir elsewhere;
        char started[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, started);
        ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.path().c_str()));
        const std::string recorded = c.recorded(professional, elsewhere.path());
        registerAt(ComponentKind::professional, kOldVersion, recorded);
        registerAt(ComponentKind::publicComponent, kOldVersion, publicPart.dir);
        const std::vector<std::string> elsewhereBefore = findFiles(elsewhere.path(), "");

        PressOutcome run;
        {
            LookupFailure failure(c.failingFragment ? c.failingFragment : "", c.error);
            CPatch_Veltris5v13Dlg dialog;
            run = pressUpdate(dialog);
            if (c.failingFragment) {
                EXPECT_LT(0, failure.failed());
            }
        }
        SetCurrentDirectoryA(started);

        expectReport(run, std::string(kProfessionalHeader) + kBackupFailure + "\n\n" + kPublicHeader + kPublicDone);
        EXPECT_TRUE(run.textsBeforeReport().empty()) << ::testing::PrintToString(run.textsBeforeReport());
        EXPECT_EQ(170, run.rangeHighAtReport);
        EXPECT_EQ(50, run.positionAtReport);
        expectVersionKept(ComponentKind::professional, kOldVersion);
        expectUntouched(professional);
        EXPECT_FALSE(exists(professional.dir + "gone"));
        EXPECT_EQ(elsewhereBefore, findFiles(elsewhere.path(), ""));
        EXPECT_EQ("elsewhere", readFileOr(elsewhere / "%ProgramFiles%\\Veltris5\\brenix.exe", "elsewhere"));
        expectUpdated(publicPart, ComponentKind::publicComponent);
    }
}

// The version cannot be recorded: the files stay updated, the backups are
// gone, and the success text carries the remark; the last advance is made.
TEST(UpdateRun, UnrecordedVersionKeepsTheUpdateWithARemark) {
    for (ComponentKind kind : {ComponentKind::publicComponent, ComponentKind::administration}) {
        const ComponentFacts& facts = kFacts[static_cast<int>(kind)];
        SCOPED_TRACE(facts.header);
        CleanRegistry registry;
        Installation inst(kind);
        registerAt(kind, kOldVersion, inst.dir);

        CPatch_Veltris5v13Dlg dialog;
        PressOptions options;
        // The product's own key stays, so the run's rights probe passes.
        options.beforePress = [&](CPatch_Veltris5v13Dlg&) {
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, registryKeyOf(kind));
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, registryKeyOf(kind));
            ASSERT_EQ("<missing>", registryText(registryKeyOf(kind), "InstallDir"));
        };
        PressOutcome run = pressUpdate(dialog, options);

        std::string done = facts.done;
        expectReport(run, facts.header + done.substr(0, done.size() - 1) + kRegistryRemark);
        EXPECT_EQ(facts.share, run.positionAtReport);
        expectUpdated(inst, kind);
        EXPECT_EQ("<missing>", registryText(registryKeyOf(kind), "Versao"));
    }
}

// The administration module records its database system first and its
// version last; only the version's write decides whether the report carries
// the registry remark.
TEST(UpdateRun, AdministrationRecordsItsSystemThenItsVersionJudgedByTheVersionAlone) {
    struct Case {
        std::set<std::string> failing;
        bool remark;
    };
    const Case cases[] = {
        {{}, false},
        {{"SGBD"}, false},
        {{"Versao"}, true},
        {{"SGBD", "Versao"}, true},
    };
    const std::string done = kAdministrationDone;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.failing));
        CleanRegistry registry;
        Installation inst(ComponentKind::administration);
        registerAt(ComponentKind::administration, kOldVersion, inst.dir, "IsisAccess");

        CPatch_Veltris5v13Dlg dialog;
        RegistryWriteSpy spy;
        ASSERT_TRUE(spy.installed()) << "no import of RegSetValueExA to stand in for";
        spy.failing = c.failing;
        PressOutcome run = pressUpdate(dialog);

        expectReport(run, std::string(kAdministrationHeader) +
                              (c.remark ? done.substr(0, done.size() - 1) + kRegistryRemark : done));
        EXPECT_EQ((std::vector<std::string>{"SGBD", "Versao"}), spy.written);
        // Each value handed over byte for byte, its size counting the
        // terminating zero: the registry must not have to guess where it ends.
        const std::string expandable = "/" + std::to_string(REG_EXPAND_SZ);
        EXPECT_EQ((std::vector<std::string>{std::string("SGBD=Isis-Access", 17) + expandable,
                                            std::string("Versao=1.6.08", 14) + expandable}),
                  spy.calls);
        EXPECT_EQ(c.failing.count("SGBD") ? "IsisAccess" : "Isis-Access", registryText(kAdministrationKey, "SGBD"));
        EXPECT_EQ(c.failing.count("Versao") ? kOldVersion : kTarget, registryText(kAdministrationKey, "Versao"));
        expectUpdated(inst, ComponentKind::administration);
    }
}

// A configuration copy that should have been made and could not be: the user
// is told, the run goes on to the clean-up and the registry. Here the key also
// goes away while that box is up, so the professional text carries its remark.
TEST(UpdateRun, FailedConfigurationCopyIsToldAndTheUpdateGoesOn) {
    CleanRegistry registry;
    Installation professional(ComponentKind::professional);
    professional.add("\\confvis.txt");
    professional.add("\\confvisaut.txt");
    registerAt(ComponentKind::professional, kOldVersion, professional.dir);
    fw::FileHandle locked = holdOpen(professional / "\\confvis.txt", 0);

    CPatch_Veltris5v13Dlg dialog;
    int positionAtBox = -1;
    PressOptions options;
    options.onBox = [&](const fw::MessageBoxCall& box, CPatch_Veltris5v13Dlg& d) {
        if (box.caption == kReportCaption) return;
        positionAtBox = static_cast<int>(SendMessageA(d.GetDlgItem(IDC_PROGRESS1), PBM_GETPOS, 0, 0));
        removeProductKeys();
    };
    PressOutcome run = pressUpdate(dialog, options);
    locked.close();

    ASSERT_EQ(1u, run.textsBeforeReport().size());
    EXPECT_EQ("Não foi possível actualizar os ficheiros de configuração", run.boxes[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), run.boxes[0].type);
    EXPECT_EQ(AfxGetAppName(), run.boxes[0].caption);
    EXPECT_EQ(110, positionAtBox);
    expectReport(run, std::string(kProfessionalHeader) +
                          "Actualização à componente profissional executada com sucesso" + kRegistryRemark);
    EXPECT_EQ(120, run.positionAtReport);
    expectUpdated(professional, ComponentKind::professional);
    EXPECT_FALSE(exists(professional / "\\FormatosVisualizacao.cfg"));
    EXPECT_EQ(oldContent("\\confvisaut.txt"), readFileOr(professional / "\\FormatosVisualizacaoAut.cfg"));
}

// Without the right to set values under the product's key, a press says so and
// changes nothing; the dialog stays open and a later press probes again.
TEST(UpdateRun, MissingRegistryRightsLeaveEverythingAsItWas) {
    CleanRegistry registry;
    Installation professional(ComponentKind::professional);
    std::string bare = professional.dir.substr(0, professional.dir.size() - 1);
    registerAt(ComponentKind::professional, kOldVersion, bare);

    CPatch_Veltris5v13Dlg dialog;
    MessageBoxRecorder boxes;
    size_t startupBoxes = 0;
    bool openAfterRefusals = false;
    bool barHiddenAfterRefusals = false;
    auto press = [&] {
        dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(dialog.GetDlgItem(IDOK)));
    };
    INT_PTR result = runModal(
        dialog,
        [&] {
            startupBoxes = boxes.calls.size();
            removeProductKeys();
            press();
            press();
            openAfterRefusals = IsWindowVisible(dialog.GetSafeHwnd()) != FALSE;
            barHiddenAfterRefusals = IsWindowVisible(dialog.GetDlgItem(IDC_PROGRESS1)) == FALSE;
            expectUntouched(professional);
            EXPECT_EQ("<missing>", registryText(kProductKey, "Versao"));
            EXPECT_EQ(bare, dialog.m_professional.installDir);
            // The rights are back: the next press runs the update.
            registerAt(ComponentKind::professional, kOldVersion, bare);
            press();
        },
        0);

    EXPECT_EQ(IDOK, result);
    EXPECT_TRUE(openAfterRefusals);
    EXPECT_TRUE(barHiddenAfterRefusals);
    ASSERT_EQ(startupBoxes + 3, boxes.calls.size());
    for (size_t i = startupBoxes; i < startupBoxes + 2; ++i) {
        EXPECT_EQ(kNoRights, boxes.calls[i].text);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes.calls[i].type);
        EXPECT_EQ(AfxGetAppName(), boxes.calls[i].caption);
    }
    EXPECT_EQ(std::string(kProfessionalHeader) + kProfessionalDone, boxes.calls.back().text);
    expectUpdated(professional, ComponentKind::professional);
    EXPECT_EQ(professional.dir, dialog.m_professional.installDir);
    EXPECT_EQ("", dialog.m_public.installDir);
    EXPECT_EQ("", dialog.m_administration.installDir);
}

// A configuration copy that cannot be put on the disk is not made: it goes,
// the user is told, and the update goes on.
TEST(UpdateRun, ConfigurationCopyThatCannotBeFlushedIsNotMade) {
    CleanRegistry registry;
    Installation publicPart(ComponentKind::publicComponent);
    publicPart.add("\\confvis.txt");
    registerAt(ComponentKind::publicComponent, kOldVersion, publicPart.dir);
    CPatch_Veltris5v13Dlg dialog;
    FileOperationLog log;
    log.failingFlush = "\\FormatosVisualizacao.cfg";
    PressOutcome run = pressUpdate(dialog);

    EXPECT_EQ(std::vector<std::string>{"Não foi possível actualizar os ficheiros de configuração"},
              run.textsBeforeReport());
    expectReport(run, std::string(kPublicHeader) + kPublicDone);
    expectUpdated(publicPart, ComponentKind::publicComponent);
    EXPECT_FALSE(exists(publicPart / "\\FormatosVisualizacao.cfg"));
}
