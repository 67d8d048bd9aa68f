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

// The release's targets as the product names them, step by step in the order
// each step writes them; typed out here, not taken from the catalogue, so
// that a reordered or misspelt row fails. Sizes change with each release and
// are checked against the embedded streams above.
struct Row {
    InstallStep step;
    const char* target;
    PayloadId id;
};

const Row kReleaseTargets[] = {
    {InstallStep::brenix, "brenix.exe", 3002},
    {InstallStep::brenix, "ravdb.dll", 3009},
    {InstallStep::brenix, "nimbodbc.dll", 3010},
    {InstallStep::brenix, "veltriscommon.dll", 3042},
    {InstallStep::quorra, "quorra.exe", 3005},
    {InstallStep::quorra, "quorra.exe.manifest", 3006},
    {InstallStep::sulvet, "sulvet.exe", 3011},
    {InstallStep::dravel, "dravel.exe", 3044},
    {InstallStep::fenmor, "fenmor.exe", 3013},
    {InstallStep::fenmor, "fenmor.exe.manifest", 3014},
    {InstallStep::halvinor, "halvinor.exe", 3007},
    {InstallStep::merisca, "merisca.exe", 3008},
    {InstallStep::publicFenmor, "fenmor.exe", 3043},
    {InstallStep::publicFenmor, "fenmor.exe.manifest", 3014},
    {InstallStep::indexingTables, "\\Bases\\clean_db\\velt5.fst", 3003},
    {InstallStep::indexingTables, "\\Bases\\clean_db\\velt5aut.fst", 3004},
    {InstallStep::displayFormats, "\\pft\\cat\\isbd.pft", 3018},
    {InstallStep::displayFormats, "\\pft\\cat\\cdaut.pft", 3015},
    {InstallStep::displayFormats, "\\pft\\cat\\import\\resumo.pft", 3017},
    {InstallStep::displayFormats, "\\pft\\cat\\import\\isbd.pft", 3016},
    {InstallStep::displayFormats, "\\pft\\cat\\xview\\resumo.pft", 3024},
    {InstallStep::displayFormats, "\\pft\\cat\\xview\\isbd.pft", 3022},
    {InstallStep::displayFormats, "\\pft\\cat\\xview\\cdaut.pft", 3021},
    {InstallStep::displayFormats, "\\pft\\cat\\xview\\resumo-a.pft", 3023},
    {InstallStep::displayFormats, "\\pft\\cat\\nvalidatedinfo\\isbd.pft", 3020},
    {InstallStep::displayFormats, "\\pft\\cat\\nvalidatedinfo\\cdaut.pft", 3019},
    {InstallStep::displayFormats, "\\pft\\difusao\\resumo.pft", 3026},
    {InstallStep::displayFormats, "\\pft\\difusao\\detalhado.pft", 3025},
    {InstallStep::displayFormats, "\\pft\\pac\\detalhado.pft", 3029},
    {InstallStep::displayFormats, "\\pft\\pac\\in_detalhado.pft", 3030},
    {InstallStep::displayFormats, "\\pft\\pac\\in_resumo.pft", 3031},
    {InstallStep::displayFormats, "\\pft\\pac\\resumo.pft", 3040},
    {InstallStep::displayFormats, "\\pft\\pac\\isbd.pft", 3032},
    {InstallStep::displayFormats, "\\pft\\pac\\np405.pft", 3033},
    {InstallStep::displayFormats, "\\pft\\pac\\autorida\\cdaut.pft", 3027},
    {InstallStep::displayFormats, "\\pft\\pac\\autorida\\resumo.pft", 3028},
    {InstallStep::displayFormats, "\\pft\\pac\\ord_pft\\detalhado.pft", 3034},
    {InstallStep::displayFormats, "\\pft\\pac\\ord_pft\\in_detalhado.pft", 3035},
    {InstallStep::displayFormats, "\\pft\\pac\\ord_pft\\in_resumo.pft", 3036},
    {InstallStep::displayFormats, "\\pft\\pac\\ord_pft\\resumo.pft", 3039},
    {InstallStep::displayFormats, "\\pft\\pac\\ord_pft\\isbd.pft", 3037},
    {InstallStep::displayFormats, "\\pft\\pac\\ord_pft\\np405.pft", 3038},
    {InstallStep::displayFormats, "\\pft\\pac\\autorida\\ord_pft\\cdaut.pft", 3027},
    {InstallStep::displayFormats, "\\pft\\pac\\autorida\\ord_pft\\resumo.pft", 3028},
    {InstallStep::displayFormats, "\\pft\\Use\\titulo.pft", 3041},
    {InstallStep::bulletinTemplate, "\\Modelos\\boletim_cdu.xml", 3012},
    {InstallStep::administration, "gestiro.exe", 3000},
    {InstallStep::administration, "QV5Server.exe", 3001},
};

TEST(Catalogue, EachStepWritesItsTargetsInTheProductsOrderAndSpelling) {
    const size_t rows = sizeof kReleaseTargets / sizeof kReleaseTargets[0];
    ASSERT_EQ(rows, kCatalogueSize);
    for (size_t i = 0; i < rows; ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        EXPECT_EQ(static_cast<int>(kReleaseTargets[i].step), static_cast<int>(kCatalogue[i].step));
        EXPECT_STREQ(kReleaseTargets[i].target, kCatalogue[i].target);
        EXPECT_EQ(kReleaseTargets[i].id, kCatalogue[i].id);
    }
    // Each step's entries are exactly its rows, as one run in that order.
    for (size_t i = 0; i < rows;) {
        CatalogueRange range = entriesOf(kReleaseTargets[i].step);
        size_t n = 0;
        while (i + n < rows && kReleaseTargets[i + n].step == kReleaseTargets[i].step) ++n;
        SCOPED_TRACE(kReleaseTargets[i].target);
        ASSERT_EQ(n, range.count);
        for (size_t k = 0; k < n; ++k) EXPECT_STREQ(kReleaseTargets[i + k].target, range.first[k].target);
        i += n;
    }
}

TEST(Payloads, IdenticalGroupsHoldAndEverythingElseDiffers) {
    std::map<PayloadId, std::string> content;
    for (PayloadId id = 3000; id <= 3044; ++id) {
        content[id] = payloadContent(id);
        ASSERT_FALSE(content[id].empty()) << id;
    }
    // The groups follow the release's files; the release tools write them.
    const std::vector<std::vector<PayloadId>> groups = {
#include "payload/identical_payloads.inc"
    };
    size_t copies = 0;
    for (const auto& group : groups) {
        ASSERT_GE(group.size(), 2u);
        copies += group.size() - 1;
        for (PayloadId id : group) EXPECT_EQ(content[group[0]], content[id]) << id;
    }
    EXPECT_EQ(content[3013].size(), content[3043].size());
    EXPECT_NE(content[3013], content[3043]);
    std::set<std::string> distinct;
    for (const auto& c : content) distinct.insert(c.second);
    EXPECT_EQ(45u - copies, distinct.size());
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
