// One payload to one file: what succeeds, what fails, and what a failure
// leaves of the target.
#include "payload/extract.h"
#include "payload/file_operations.h"
#include "payload/presence.h"
#include "tests/support/test_support.h"

#include "framework/handles.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testing_support;

namespace {

// A display format: small and quick to inflate.
const PayloadId kId = 3018;
const DWORD kSize = 16641;
const DWORD kStored = 4065;

class Extract : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string target = dir / "isbd.pft";
    const std::string old = "old release\r\n";
};

TEST_F(Extract, WritesThePayloadAndTruncatesALongerFile) {
    writeFile(target, std::string(100000, 'x'));
    ASSERT_TRUE(extractPayload(target, kId, kSize, kStored));
    EXPECT_EQ(payloadContent(kId), readFileOr(target));
    EXPECT_EQ(kSize, readFileOr(target).size());
    // Again, and to a second path: the same bytes.
    ASSERT_TRUE(extractPayload(target, kId, kSize, kStored));
    ASSERT_TRUE(extractPayload(dir / "copy.pft", kId, kSize, kStored));
    EXPECT_EQ(readFileOr(target), readFileOr(dir / "copy.pft"));
}

TEST_F(Extract, MissingPayloadCreatesNothing) {
    EXPECT_FALSE(extractPayload(target, 2999, kSize, kStored));
    EXPECT_FALSE(exists(target));
}

// Failures of the inflate come before the target is opened, so an existing
// file keeps its old contents and length.
TEST_F(Extract, WrongSizesLeaveTheTargetUntouched) {
    writeFile(target, old);
    EXPECT_FALSE(extractPayload(target, kId, kSize - 1, kStored));
    EXPECT_EQ(old, readFileOr(target));
    EXPECT_FALSE(extractPayload(target, kId, kSize, kStored - 1));
    EXPECT_EQ(old, readFileOr(target));
    EXPECT_FALSE(extractPayload(target, kId, kSize, 2));
    EXPECT_EQ(old, readFileOr(target));
}

TEST_F(Extract, GenerousSizesStillGiveTheRealFile) {
    ASSERT_TRUE(extractPayload(target, kId, kSize + 1000, kStored));
    EXPECT_EQ(kSize, readFileOr(target).size());
    // The input is bounded by the stream's own end (and by the resource).
    ASSERT_TRUE(extractPayload(target, kId, kSize, kStored + 5000000));
    EXPECT_EQ(payloadContent(kId), readFileOr(target));
}

TEST_F(Extract, UnreachableTargetsFail) {
    EXPECT_FALSE(extractPayload(dir / "no\\such\\folder\\isbd.pft", kId, kSize, kStored));
    EXPECT_FALSE(exists(dir / "no"));

    makeDirs(dir / "folder.pft");
    EXPECT_FALSE(extractPayload(dir / "folder.pft", kId, kSize, kStored));
}

TEST_F(Extract, TargetInUseOrReadOnlyIsNeverOverwritten) {
    writeFile(target, old);
    {
        // As a running program holds its file: others may read, nobody may write.
        fw::FileHandle held(CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.valid());
        EXPECT_FALSE(extractPayload(target, kId, kSize, kStored));
    }
    EXPECT_EQ(old, readFileOr(target));

    // Windows will not recreate a read-only file, nor a hidden or system one
    // opened with plain attributes; Wine as root would.
    for (DWORD protection : {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
        SCOPED_TRACE(protection);
        ASSERT_TRUE(SetFileAttributesA(target.c_str(), protection));
        EXPECT_FALSE(extractPayload(target, kId, kSize, kStored));
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(old, readFileOr(target));
    }
}

// The ANSI file functions reach paths of up to 259 characters.
TEST_F(Extract, PathsOf260CharactersOrMoreFail) {
    std::string folder = dir / "d";
    makeDirs(folder);
    std::string base = folder + "\\";
    std::string at259 = base + std::string(259 - base.size() - 4, 'a') + ".pft";
    std::string at260 = base + std::string(260 - base.size() - 4, 'b') + ".pft";
    ASSERT_EQ(259u, at259.size());
    ASSERT_EQ(260u, at260.size());
    EXPECT_TRUE(extractPayload(at259, kId, kSize, kStored));
    EXPECT_FALSE(extractPayload(at260, kId, kSize, kStored));
    EXPECT_FALSE(exists(at260));
}

// The close of a completely written file can still report a failure (a
// network share or a full disk that learns of it late); the file is then not
// good, and the extraction says so.
BOOL WINAPI closeAndFail(HANDLE file) { return CloseHandle(file), FALSE; }

TEST_F(Extract, FailureReportedWhenTheWrittenFileIsClosedFailsTheExtraction) {
    writeFile(target, old);
    FileOperations failing = fileOperations();
    failing.close = closeAndFail;
    const FileOperations previous = setFileOperations(failing);
    bool result = extractPayload(target, kId, kSize, kStored);
    setFileOperations(previous);
    EXPECT_FALSE(result);
    // The handle was closed all the same: the file can be opened exclusively.
    fw::FileHandle again(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(again.valid());
    again.reset();
    // With the plain close back, the same extraction succeeds.
    EXPECT_TRUE(extractPayload(target, kId, kSize, kStored));
}

// The presence test asks for exactly the path: a file or a folder counts,
// names match without regard to case, a doubled separator is one, and 260
// characters or more are out of reach even where the file is there (Wine can
// create it). Only "not found" is missing: a name the file system refuses
// and a lookup that fails for any other reason tell nothing.
struct PresenceCase {
    const char* name;
    std::function<std::string(const ScratchDir&)> path;
    Presence presence;
    DWORD injected = ERROR_SUCCESS;  // the lookup of the path fails with this (Windows only)
};

void PrintTo(const PresenceCase& c, std::ostream* os) { *os << c.name; }

std::string ofLength(const ScratchDir& dir, size_t length, char fill) {
    std::string base = dir / "long\\";
    std::string path = base + std::string(length - base.size() - 4, fill) + ".pft";
    writeFile(path, "x");
    return path;
}

class PresenceTest : public Extract, public ::testing::WithParamInterface<PresenceCase> {};

TEST_P(PresenceTest, AsksForExactlyThePath) {
    writeFile(target, old);
    makeDirs(dir / "pft\\cat");
    std::string path = GetParam().path(dir);
    LookupFailure failure(path, GetParam().injected);
    PathStatus status = lookUpPath(path);
    EXPECT_EQ(static_cast<int>(GetParam().presence), static_cast<int>(status.presence)) << path;
    if (GetParam().injected != ERROR_SUCCESS) {
        EXPECT_EQ(1, failure.failed());
        EXPECT_EQ(GetParam().injected, status.error);
    }
}

const auto kFile = [](const ScratchDir& d) { return d / "isbd.pft"; };
const auto kAbsent = [](const ScratchDir& d) { return d / "absent.pft"; };

INSTANTIATE_TEST_SUITE_P(
    Paths, PresenceTest,
    ::testing::Values(
        PresenceCase{"File", kFile, Presence::present},
        PresenceCase{"Folder", [](const ScratchDir& d) { return d / "pft"; }, Presence::present},
        PresenceCase{"FolderBehindADoubledSeparator", [](const ScratchDir& d) { return d.path() + "\\\\pft\\cat"; },
                     Presence::present},
        PresenceCase{"OtherLetterCase", [](const ScratchDir& d) { return d / "ISBD.PFT"; }, Presence::present},
        PresenceCase{"Absent", kAbsent, Presence::missing},
        PresenceCase{"InAnAbsentFolder", [](const ScratchDir& d) { return d / "no\\such\\isbd.pft"; },
                     Presence::missing},
        PresenceCase{"StarIsARefusedName", [](const ScratchDir& d) { return d / "isbd.*"; }, Presence::unknown},
        PresenceCase{"QuestionMarkIsARefusedName", [](const ScratchDir& d) { return d / "isb?.pft"; },
                     Presence::unknown},
        PresenceCase{"WildcardFolder", [](const ScratchDir& d) { return d / "p*"; }, Presence::unknown},
        PresenceCase{"Of259Characters", [](const ScratchDir& d) { return ofLength(d, 259, 'a'); }, Presence::present},
        PresenceCase{"Of260Characters", [](const ScratchDir& d) { return ofLength(d, 260, 'b'); }, Presence::missing},
        PresenceCase{"PresentFileAccessDenied", kFile, Presence::unknown, ERROR_ACCESS_DENIED},
        PresenceCase{"AbsentFileAccessDenied", kAbsent, Presence::unknown, ERROR_ACCESS_DENIED},
        PresenceCase{"NetworkPathGone", kFile, Presence::unknown, ERROR_BAD_NETPATH},
        PresenceCase{"NetworkNameDeleted", kAbsent, Presence::unknown, ERROR_NETNAME_DELETED},
        PresenceCase{"NotFoundAsTheFileSystemSaysIt", kFile, Presence::missing, ERROR_FILE_NOT_FOUND}),
    [](const ::testing::TestParamInfo<PresenceCase>& info) { return std::string(info.param.name); });

// The folder a component is updated in: a full path to a folder that is
// there, with or without its trailing separator.
struct FolderCase {
    const char* name;
    std::function<std::string(const ScratchDir&)> directory;
    bool usable;
    DWORD injected = ERROR_SUCCESS;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class UsableFolderTest : public Extract, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(UsableFolderTest, OnlyAFullPathToAFolderThatIsThere) {
    writeFile(target, old);
    std::string directory = GetParam().directory(dir);
    LookupFailure failure(dir.path(), GetParam().injected);
    // A relative name must not be judged by where the updater happens to run.
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(dir.path().c_str());
    makeDirs(dir / "Veltris5");
    makeDirs(dir / "%ProgramFiles%\\Veltris5");
    bool usable = isUsableFolder(directory);
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(GetParam().usable, usable) << directory;
}

INSTANTIATE_TEST_SUITE_P(
    Folders, UsableFolderTest,
    ::testing::Values(
        FolderCase{"FolderWithSeparator", [](const ScratchDir& d) { return d.path() + "\\"; }, true},
        FolderCase{"FolderWithoutSeparator", [](const ScratchDir& d) { return d.path(); }, true},
        FolderCase{"Missing", [](const ScratchDir& d) { return d / "gone\\"; }, false},
        FolderCase{"FileAtThatPath", [](const ScratchDir& d) { return d / "isbd.pft\\"; }, false},
        FolderCase{"FileAtThatPathWithoutSeparator", [](const ScratchDir& d) { return d / "isbd.pft"; }, false},
        FolderCase{"RefusedName", [](const ScratchDir& d) { return d / "a|b\\"; }, false},
        FolderCase{"RelativeName", [](const ScratchDir&) { return std::string("Veltris5\\"); }, false},
        FolderCase{"UnexpandedVariable", [](const ScratchDir&) { return std::string("%ProgramFiles%\\Veltris5\\"); },
                   false},
        FolderCase{"DriveRelative",
                   [](const ScratchDir& d) { return d.path().substr(0, 2) + "Veltris5\\"; }, false},
        FolderCase{"Empty", [](const ScratchDir&) { return std::string(); }, false},
        FolderCase{"AccessDenied", [](const ScratchDir& d) { return d.path() + "\\"; }, false, ERROR_ACCESS_DENIED},
        FolderCase{"ShareUnreachable", [](const ScratchDir& d) { return d.path() + "\\"; }, false,
                   ERROR_BAD_NETPATH},
        FolderCase{"ShareReachable",
                   [](const ScratchDir&) { return freshNetworkShare() + "\\"; },
                   true}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

}  // namespace
