// Every catalogue row against the payload embedded in this program: sizes,
// stream framing and integrity, the byte-identical groups and the ids in use.
// A release whose files or catalogue disagree fails here.
#include "payload/catalogue.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <map>
#include <set>

using namespace testing_support;

namespace {

struct Stored {
    const unsigned char* data = nullptr;
    DWORD size = 0;
};

Stored stored(PayloadId id) {
    Stored s;
    HRSRC found = FindResourceExA(nullptr, "GZ", MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!found) return s;
    s.size = SizeofResource(nullptr, found);
    s.data = static_cast<const unsigned char*>(LockResource(LoadResource(nullptr, found)));
    return s;
}

TEST(Catalogue, EveryRowMatchesItsEmbeddedStream) {
    ASSERT_EQ(48u, kCatalogueSize);
    for (size_t i = 0; i < kCatalogueSize; ++i) {
        const CatalogueEntry& e = kCatalogue[i];
        SCOPED_TRACE(std::string(e.target) + " #" + std::to_string(e.id));
        Stored s = stored(e.id);
        ASSERT_NE(nullptr, s.data) << "no GZ resource in language 1033";
        EXPECT_EQ(e.compressedSize, s.size);
        ASSERT_GE(s.size, 6u);
        EXPECT_EQ(0x78, s.data[0]);
        EXPECT_EQ(0xDA, s.data[1]);
        EXPECT_EQ(0, ((s.data[0] << 8) | s.data[1]) % 31);

        // Inflate exactly the stored bytes: the stream must end at the last
        // byte, with its Adler-32 checked by zlib, at the catalogued size.
        std::string out(e.uncompressedSize + 16, '\0');
        z_stream z{};
        ASSERT_EQ(Z_OK, inflateInit(&z));
        z.next_in = const_cast<Bytef*>(s.data);
        z.avail_in = s.size;
        z.next_out = reinterpret_cast<Bytef*>(&out[0]);
        z.avail_out = static_cast<uInt>(out.size());
        int rc = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        EXPECT_EQ(Z_STREAM_END, rc);
        EXPECT_EQ(0u, z.avail_in) << "bytes after the stream";
        EXPECT_EQ(e.uncompressedSize, z.total_out);
    }
}

TEST(Catalogue, EveryPayloadIdIsUsedAndNoOtherExists) {
    std::map<PayloadId, int> uses;
    for (size_t i = 0; i < kCatalogueSize; ++i) ++uses[kCatalogue[i].id];
    for (PayloadId id = 3000; id <= 3044; ++id) EXPECT_GE(uses[id], 1) << id;
    EXPECT_EQ(45u, uses.size());
    EXPECT_EQ(2, uses[3014]);
    EXPECT_EQ(2, uses[3027]);
    EXPECT_EQ(2, uses[3028]);
    EXPECT_EQ(nullptr, FindResourceA(nullptr, "#2999", "GZ"));
    EXPECT_EQ(nullptr, FindResourceA(nullptr, "#3045", "GZ"));
}

TEST(Catalogue, EachStepIsOneRunInWriteOrder) {
    size_t total = 0;
    for (InstallStep step : {InstallStep::brenix, InstallStep::quorra, InstallStep::sulvet, InstallStep::dravel,
                             InstallStep::fenmor, InstallStep::halvinor, InstallStep::merisca, InstallStep::publicFenmor,
                             InstallStep::indexingTables, InstallStep::displayFormats, InstallStep::bulletinTemplate,
                             InstallStep::administration})
        total += entriesOf(step).count;
    EXPECT_EQ(kCatalogueSize, total);
    EXPECT_EQ(29u, entriesOf(InstallStep::displayFormats).count);
    EXPECT_STREQ("brenix.exe", entriesOf(InstallStep::brenix).first->target);
    EXPECT_STREQ("\\pft\\Use\\titulo.pft", (entriesOf(InstallStep::displayFormats).end() - 1)->target);
}

TEST(Payloads, IdenticalGroupsHoldAndEverythingElseDiffers) {
    std::map<PayloadId, std::string> content;
    for (PayloadId id = 3000; id <= 3044; ++id) {
        content[id] = payloadContent(id);
        ASSERT_FALSE(content[id].empty()) << id;
    }
    const std::vector<std::vector<PayloadId>> groups = {
        {3021, 3027}, {3023, 3028}, {3022, 3032, 3037}, {3024, 3039, 3040}, {3033, 3038}};
    for (const auto& group : groups)
        for (PayloadId id : group) EXPECT_EQ(content[group[0]], content[id]) << id;
    EXPECT_EQ(content[3013].size(), content[3043].size());
    EXPECT_NE(content[3013], content[3043]);
    std::set<std::string> distinct;
    for (const auto& c : content) distinct.insert(c.second);
    EXPECT_EQ(45u - 7u, distinct.size());
}

TEST(Payloads, ContentsFitTheirKindOfFile) {
    for (size_t i = 0; i < kCatalogueSize; ++i) {
        const CatalogueEntry& e = kCatalogue[i];
        std::string target = e.target;
        std::string body = payloadContent(e.id);
        std::string ext = target.substr(target.find_last_of('.'));
        SCOPED_TRACE(target);
        if (ext == ".exe" || ext == ".dll") {
            // The product's programs and libraries are 32-bit: PE32 for x86,
            // a GUI program or a DLL as the name says.
            ASSERT_GE(body.size(), 0x200u);
            EXPECT_EQ("MZ", body.substr(0, 2));
            DWORD peOffset = *reinterpret_cast<const DWORD*>(&body[0x3C]);
            ASSERT_LE(peOffset, body.size() - sizeof(IMAGE_NT_HEADERS32));
            IMAGE_NT_HEADERS32 nt;
            memcpy(&nt, &body[peOffset], sizeof nt);
            EXPECT_EQ(static_cast<DWORD>(IMAGE_NT_SIGNATURE), nt.Signature);
            EXPECT_EQ(IMAGE_FILE_MACHINE_I386, nt.FileHeader.Machine);
            EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, nt.OptionalHeader.Magic);
            EXPECT_EQ(ext == ".dll", (nt.FileHeader.Characteristics & IMAGE_FILE_DLL) != 0);
            if (ext == ".exe") {
                EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt.OptionalHeader.Subsystem);
            }
        } else if (ext == ".xml") {
            EXPECT_EQ("\xEF\xBB\xBF", body.substr(0, 3));
        } else {
            // Text files: lines end in CR LF, never in a bare LF.
            for (size_t p = body.find('\n'); p != std::string::npos; p = body.find('\n', p + 1))
                ASSERT_TRUE(p > 0 && body[p - 1] == '\r') << "bare LF at " << p;
        }
    }
}

}  // namespace
