// One payload to one file: what succeeds, what fails, and what a failure
// leaves of the target.
#include "payload/extract.h"
#include "tests/support/test_support.h"

#include "framework/handles.h"

#include <gtest/gtest.h>

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

    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(extractPayload(target, kId, kSize, kStored));
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(old, readFileOr(target));
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
    EXPECT_TRUE(pathExists(at259));
    EXPECT_FALSE(extractPayload(at260, kId, kSize, kStored));
    EXPECT_FALSE(exists(at260));

    // Even where the file is there (Wine can create it), it counts as missing.
    writeFile(at260, old);
    EXPECT_FALSE(pathExists(at260));
}

TEST_F(Extract, PresenceTestAcceptsFilesAndFoldersAndDoubledSeparators) {
    writeFile(target, old);
    makeDirs(dir / "pft\\cat");
    EXPECT_TRUE(pathExists(target));
    EXPECT_TRUE(pathExists(dir / "pft"));
    EXPECT_TRUE(pathExists(dir.path() + "\\\\pft\\cat"));
    EXPECT_TRUE(pathExists(dir / "ISBD.PFT"));
    EXPECT_FALSE(pathExists(dir / "absent.pft"));
}

}  // namespace
