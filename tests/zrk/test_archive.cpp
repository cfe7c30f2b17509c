// Tests of archive volumes: the writer's bytes against a layout built here
// by hand, round trips over one and many volumes in both formats, damaged
// and hostile volumes (message, status, and nothing left behind or written
// outside the destination), continuations, progress and cancellation.

#include "zrk/archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "testutil.h"
#include "zrk/cfile.h"
#include "zrk/comp.h"
#include "zrk/ctimeex.h"
#include "zrk/membuf.h"
#include "zrk/os/faults.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

std::string Random(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (auto& c : s) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        c = static_cast<char>(seed >> 24);
    }
    return s;
}

std::string Text(size_t n) {
    static const char* const words[] = {"setup ", "volume ", "piece ", "the ", "archive\r\n", "of "};
    std::string s;
    for (size_t i = 0; s.size() < n; ++i) s += words[(i * 7 + i / 5) % 6];
    s.resize(n);
    return s;
}

// ---- volumes laid out by hand -------------------------------------------------

void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i));
}

struct Header {
    std::string name;
    uint8_t kind = 1;
    uint32_t fileSize = 0, pieceSize = 0, pieceOffset = 0, packedSize = 0, dataCrc = 0, fileTime = 0;
};

// A header with its CRC over the fields as stored.
std::string HeaderBytes(const Header& h, int version) {
    std::string s = h.name;
    s += '\0';
    s += static_cast<char>(h.kind);
    Put32(s, h.fileSize);
    Put32(s, h.pieceSize);
    Put32(s, h.pieceOffset);
    Put32(s, h.packedSize);
    Put32(s, h.dataCrc);
    if (version == 2) Put32(s, h.fileTime);
    Put32(s, ZrkCrc32(s.data(), s.size()));
    return s;
}

std::string Packed(const std::string& data) {
    CByteBuffer out;
    EXPECT_EQ(ZrkLzwCompress(data.data(), data.size(), &out), 0);
    return std::string(reinterpret_cast<const char*>(out.Data()), static_cast<size_t>(out.Size()));
}

// A whole member as one piece; EDIT may change the header before it is
// laid out (its CRC stays right).
std::string PieceBytes(const std::string& name, const std::string& data, int version,
                       const std::function<void(Header&)>& edit = nullptr) {
    Header h;
    h.name = name;
    h.fileSize = h.pieceSize = static_cast<uint32_t>(data.size());
    const std::string packed = Packed(data);
    h.packedSize = static_cast<uint32_t>(packed.size());
    h.dataCrc = ZrkCrc32(data.data(), data.size());
    if (edit) edit(h);
    return HeaderBytes(h, version) + packed;
}

std::string EndBytes(const char* name, int version) {
    Header h;
    h.name = name;
    h.kind = 0;
    return HeaderBytes(h, version);
}

std::string Magic(int version) { return version == 1 ? "JAA1" : "JAA2"; }

// ---- the directory side ---------------------------------------------------------

// Every file and directory below DIR (directories with a trailing "\"),
// relative to it, sorted.
void ListTree(const CString& dir, const std::string& prefix, std::vector<std::string>* out) {
    CFileList list(dir, "*", CFileList::FILES | CFileList::DIRECTORIES);
    for (int i = 0; i < list.Count(); ++i) {
        const CString item = list[i];
        if (item.EndsWith("\\")) {
            const std::string name = prefix + CFile::FilePart(CString(item.c_str(), item.Length() - 1)).c_str();
            out->push_back(name + "\\");
            ListTree(item, name + "\\", out);
        } else {
            out->push_back(prefix + CFile::FilePart(item).c_str());
        }
    }
}

std::vector<std::string> Tree(const CString& dir) {
    std::vector<std::string> out;
    ListTree(dir, "", &out);
    std::sort(out.begin(), out.end());
    return out;
}

uint32_t TimeOf(const char* path) {
    CTimeEx when;
    EXPECT_EQ(CFile::LastWriteTime(path, &when), 0) << path;
    return when.ToArchiveSeconds();
}

uint32_t ArchiveSeconds(int year, int month, int day, int hour, int minute, int second) {
    CTimeEx when;
    EXPECT_EQ(when.FromParts(year, month, day, hour, minute, second), 0);
    return when.ToArchiveSeconds();
}

// Records the pieces an extraction sees (and skips them, or passes them to
// the base). Optionally skips one member or counts the opens.
class CRecordingArchive : public CArchive {
public:
    explicit CRecordingArchive(bool skipAll = false) : m_skipAll(skipAll) {}
    int OpenMemberOutput(const CArchiveEntry& e, const char* destDir) override {
        ++opens;
        pieces.push_back(e);
        if (m_skipAll || e.name == skipName.c_str()) return ZRK_SKIP;
        return CArchive::OpenMemberOutput(e, destDir);
    }
    std::vector<CArchiveEntry> pieces;
    std::string skipName;
    int opens = 0;

private:
    bool m_skipAll;
};

class ArchiveTest : public ::testing::Test {
protected:
    CString P(const char* name) const { return m_scratch.Path(name); }

    // Writes FILES below "src\" with their times and packs them, members in
    // byte order of their names, into "out\vol01.ar", ... The volume paths.
    std::vector<CString> PackFiles(const std::map<std::string, std::string>& files, int version, int64_t limit,
                                   uint32_t time = 0) {
        CFile::MakeAllDirs(P("out\\"));
        CArchive archive;
        archive.SetWriteVersion(version);
        archive.SetVolumeLimit(limit);
        archive.SetDirectory(P("out\\"));
        archive.SetBaseName("vol");
        EXPECT_EQ(archive.ResetVolumes(), 0);
        CFile volume;
        CByteBuffer buffer;
        for (const auto& [name, data] : files) {  // std::map: byte order
            const CString path = P(("src\\" + name).c_str());
            EXPECT_EQ(CFile::MakeAllDirs(path), 0);
            EXPECT_TRUE(WriteAll(path, data));
            if (time != 0) {
                CTimeEx when;
                when.FromArchiveSeconds(time);
                EXPECT_EQ(CFile::SetLastWriteTime(path, when), 0);
            }
            CFile source;
            source.SetPath(path);
            EXPECT_EQ(archive.AddFile(source, name.c_str(), volume, buffer), 0) << name;
        }
        EXPECT_EQ(archive.WriteEndMarker(volume, true), 0);
        std::vector<CString> volumes;
        for (int n = 1; n <= archive.VolumeNumber(); ++n) volumes.push_back(P(CString::Printf("out\\vol%02d.ar", n)));
        return volumes;
    }

    // Adds the file SOURCE of the scratch directory as MEMBER to volumes
    // w01.ar, ... there.
    int Pack(const char* source, const char* member) {
        CArchive archive;
        archive.SetVolumeLimit(1 << 20);
        archive.SetDirectory(m_scratch.Dir());
        archive.SetBaseName("w");
        EXPECT_EQ(archive.ResetVolumes(), 0);
        CFile volume, file;
        CByteBuffer buffer;
        file.SetPath(P(source));
        return archive.AddFile(file, member, volume, buffer);
    }

    // A volume file holding BYTES.
    CString Volume(const std::string& bytes, const char* name = "v.ar") {
        EXPECT_TRUE(WriteAll(P(name), bytes));
        return P(name);
    }

    ScratchDir m_scratch;
};

// ---- the layout, to the bit ----------------------------------------------------------

TEST_F(ArchiveTest, WriterLaysOutVolumesByteForByte) {
    const uint32_t time = ArchiveSeconds(2001, 2, 3, 4, 5, 6);
    for (int version : {1, 2}) {
        SCOPED_TRACE(version);
        RemoveTree(P("out"));
        const std::vector<CString> volumes =
            PackFiles({{"a.txt", "hello"}, {"dir\\empty", ""}}, version, 100000, time);
        ASSERT_EQ(volumes.size(), 1u);
        const uint32_t stored = version == 2 ? time : 0;
        const std::string expected = Magic(version) +
                                     PieceBytes("a.txt", "hello", version, [&](Header& h) { h.fileTime = stored; }) +
                                     PieceBytes("dir\\empty", "", version, [&](Header& h) { h.fileTime = stored; }) +
                                     EndBytes("/ENDAR", version);
        EXPECT_EQ(ReadAll(volumes[0]), expected);
    }
    // No member at all: one volume with the end marker alone.
    RemoveTree(P("out"));
    const std::vector<CString> empty = PackFiles({}, 2, 4096);
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(ReadAll(empty[0]), Magic(2) + EndBytes("/ENDAR", 2));
}

// ---- round trips ----------------------------------------------------------------------

TEST_F(ArchiveTest, RoundTripsOverOneAndManyVolumes) {
    struct Case {
        const char* what;
        int version;
        int64_t limit;
        std::map<std::string, std::string> files;
        size_t minVolumes;
    };
    const std::vector<Case> cases = {
        {"one member, format 1", 1, 1 << 20, {{"readme.txt", Text(5000)}}, 1},
        {"many members and an empty file, format 2",
         2,
         1 << 20,
         {{"a.txt", "a"}, {"b\\c\\d.bin", Random(3000, 1)}, {"b\\e.txt", Text(20000)}, {"empty.dat", ""}},
         1},
        // A member whose one piece is larger than the write buffer: its
        // header is written into the space kept for it.
        {"one large piece", 2, 1 << 22, {{"big.bin", Random(200000, 2)}}, 1},
        {"members split over small volumes, format 2",
         2,
         4096,
         {{"one.bin", Random(30000, 3)}, {"three.txt", Text(40000)}, {"two\\x.bin", Random(7000, 4)}},
         8},
        {"members split over small volumes, format 1", 1, 3001, {{"r.bin", Random(25000, 5)}, {"s", ""}}, 8},
        {"the smallest volume", 2, CArchive::kMinVolumeLimit, {{"z.bin", Random(9000, 6)}}, 5},
    };
    const uint32_t time = ArchiveSeconds(2003, 4, 5, 6, 7, 8);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(P("src"));
        RemoveTree(P("out"));
        RemoveTree(P("dest"));
        CRecordingScope scope;
        const std::vector<CString> volumes = PackFiles(c.files, c.version, c.limit, time);
        ASSERT_GE(volumes.size(), c.minVolumes);

        // Every volume keeps to the limit, and only the last ends the archive.
        CRecordingArchive lister(true);
        for (size_t i = 0; i < volumes.size(); ++i) {
            EXPECT_LE(CFile::FileSize64(volumes[i]), c.limit) << volumes[i].c_str();
            int end = -1;
            ASSERT_EQ(lister.ExtractVolume(P("dest"), volumes[i], &end), 0);
            EXPECT_EQ(end, i + 1 == volumes.size() ? 1 : 0);
        }
        // Pieces follow each other within their member.
        std::map<std::string, uint32_t> next;
        for (const CArchiveEntry& e : lister.pieces) {
            EXPECT_EQ(e.pieceOffset, next[e.name.c_str()]) << e.name.c_str();
            next[e.name.c_str()] = e.pieceOffset + e.pieceSize;
            EXPECT_EQ(e.fileTime, c.version == 2 ? time : 0u);
        }
        for (const auto& [name, data] : c.files) EXPECT_EQ(next[name], data.size()) << name;
        EXPECT_TRUE(Tree(P("dest")).empty()) << "skipped pieces must not be written";

        // Extracted in order, volume by volume, every member is back.
        for (const CString& v : volumes) ASSERT_EQ(CArchive().ExtractVolume(P("dest"), v, nullptr), 0);
        for (const auto& [name, data] : c.files) {
            const CString path = P(("dest\\" + name).c_str());
            EXPECT_EQ(ReadAll(path), data) << name;
            if (c.version == 2) {
                EXPECT_EQ(TimeOf(path), time) << name;
            }
        }
        EXPECT_EQ(scope.Count(ZRK_KIND_ERROR), 0) << scope.LastText();
    }
}

// ---- damaged volumes ----------------------------------------------------------------

TEST_F(ArchiveTest, DamagedVolumesFailWithTheirMessageAndLeaveNoPartialMember) {
    const std::string big = Random(60000, 7);
    const std::string good = PieceBytes("first.txt", "first", 2);
    auto second = [&](const std::function<void(Header&)>& edit) { return PieceBytes("second.bin", big, 2, edit); };
    const std::string valid = Magic(2) + good + second(nullptr) + EndBytes("/ENDAR", 2);
    const size_t secondAt = 4 + good.size();
    const size_t secondData = secondAt + std::string("second.bin").size() + 30;

    const std::vector<std::string> kFirst = {"first.txt"};
    struct Case {
        const char* what;
        std::string volume;
        int code;
        int msgId;
        std::vector<std::string> left;  // the members that stay
    };
    std::string flippedCrc = valid;
    flippedCrc[secondData - 1] ^= 0x10;  // in the header CRC
    std::string flippedData = valid;
    flippedData[secondData + 1] ^= 0x80;  // the first literal's low bit: a valid stream, other bytes
    std::string flippedMagic = valid;
    flippedMagic[3] = '3';
    const std::vector<Case> cases = {
        {"not a volume", flippedMagic, ZRK_FAIL, 547, {}},
        {"too short for a magic", "JA", ZRK_FAIL, 548, {}},
        {"a bit of a header CRC", flippedCrc, ZRK_FAIL, 548, kFirst},
        {"a bit of the data", flippedData, ZRK_FAIL, 549, kFirst},
        {"a wrong data CRC", Magic(2) + good + second([](Header& h) { h.dataCrc ^= 1; }) + EndBytes("/ENDAR", 2),
         ZRK_FAIL, 549, kFirst},
        {"truncated inside a piece", valid.substr(0, secondData + 100), ZRK_FAIL, 548, kFirst},
        {"truncated inside a header", valid.substr(0, secondAt + 20), ZRK_FAIL, 548, kFirst},
        {"a stream longer than its packed size",
         Magic(2) + good + second([](Header& h) { h.packedSize /= 2; }) + EndBytes("/ENDAR", 2), ZRK_FAIL, 548,
         kFirst},
        {"a stream that gives more than its piece size",
         Magic(2) + good + second([](Header& h) { h.pieceSize = h.fileSize = 1000; }) + EndBytes("/ENDAR", 2),
         ZRK_FAIL, 548, kFirst},
        {"a stream that gives less than its piece size",
         Magic(2) + good + second([](Header& h) { h.pieceSize = h.fileSize = h.fileSize + 1; }) +
             EndBytes("/ENDAR", 2),
         ZRK_FAIL, 549, kFirst},
        {"a piece beyond its member",
         Magic(2) + good + second([](Header& h) { h.pieceOffset = 1; }) + EndBytes("/ENDAR", 2), ZRK_FAIL, 548,
         kFirst},
        {"no end marker", Magic(2) + good + second(nullptr), ZRK_FAIL, 548, {"first.txt", "second.bin"}},
        {"an unknown end marker", Magic(2) + good + EndBytes("/ENDX", 2), ZRK_FAIL, 548, kFirst},
        {"an end marker with data", Magic(2) + good + HeaderBytes({"/ENDAR", 0, 5, 0, 0, 0, 0, 0}, 2), ZRK_FAIL,
         548, kFirst},
        {"a name too long", Magic(2) + good + PieceBytes(std::string(300, 'n'), "x", 2) + EndBytes("/ENDAR", 2),
         ZRK_FAIL, 548, kFirst},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(P("dest"));
        const CString volume = Volume(c.volume);
        CRecordingScope scope;
        CArchive archive;
        EXPECT_EQ(archive.ExtractVolume(P("dest"), volume, nullptr), c.code);
        ASSERT_EQ(scope.entries.size(), 1u) << scope.LastText();
        EXPECT_EQ(scope.entries[0].msgId, c.msgId);
        EXPECT_EQ(scope.entries[0].code, c.code);
        // Good members stay; the damaged one is gone.
        EXPECT_EQ(Tree(P("dest")), c.left);
    }
}

TEST_F(ArchiveTest, HostileMemberNamesAreRefusedBeforeAnythingIsOpened) {
    const char* const names[] = {
        "..\\..\\x.dll", "C:\\x", "\\x", "/x", "a:stream", "a\\..\\b", "..", ".", "a\\.\\b", "CON", "con.txt",
        "dir\\Nul", "COM1", "lpt9.log", "aux ", "x.", "x ", "a\\\\b", "a\\", "a<b", "a|b", "a?b", "a*b",
        "a\"b", "tab\there", "/END2", "\\\\server\\share\\x",
    };
    // The scratch directory and the destination's parent look the same
    // before and after.
    ASSERT_EQ(CFile::MakeAllDirs(P("deep\\dest\\")), 0);
    const std::vector<std::string> before = Tree(m_scratch.Dir());
    for (int version : {1, 2}) {
        for (const char* name : names) {
            SCOPED_TRACE(std::string(name) + " in format " + std::to_string(version));
            EXPECT_FALSE(CArchive::IsValidMemberName(name));
            const CString volume =
                Volume(Magic(version) + PieceBytes(name, "payload", version) + EndBytes("/ENDAR", version),
                       "hostile.ar");
            CRecordingScope scope;
            CRecordingArchive archive;
            EXPECT_EQ(archive.ExtractVolume(P("deep\\dest"), volume, nullptr), ZRK_FAIL);
            EXPECT_EQ(archive.opens, 0);
            ASSERT_EQ(scope.entries.size(), 1u);
            EXPECT_EQ(scope.entries[0].msgId, MSG_ARCHIVE_DAMAGED);
            EXPECT_EQ(scope.entries[0].code, ZRK_FAIL);
            CFile::RemoveFile(volume);
            EXPECT_EQ(Tree(m_scratch.Dir()), before);
        }
    }
    // An empty name ends the header at once.
    const CString volume = Volume(Magic(2) + PieceBytes("", "x", 2) + EndBytes("/ENDAR", 2), "hostile.ar");
    CRecordingScope scope;
    EXPECT_EQ(CArchive().ExtractVolume(P("deep\\dest"), volume, nullptr), ZRK_FAIL);
    ASSERT_EQ(scope.entries.size(), 1u);
    EXPECT_EQ(scope.entries[0].msgId, MSG_ARCHIVE_DAMAGED);

    // Names that are fine, some of them close to refused ones.
    for (const char* ok : {"a", "dir\\sub\\file.txt", "CONFIG.SYS", "com10", "console", "a b", ".profile",
                           "x..y", "nul_", "\xE9t\xE9.txt", "a/b"})
        EXPECT_TRUE(CArchive::IsValidMemberName(ok)) << ok;
    EXPECT_TRUE(CArchive::IsValidMemberName(std::string(CArchive::kMaxNameLength, 'a').c_str()));
    EXPECT_FALSE(CArchive::IsValidMemberName(std::string(CArchive::kMaxNameLength + 1, 'a').c_str()));
}

// ---- continuations --------------------------------------------------------------------

TEST_F(ArchiveTest, ContinuationsNeedTheirFirstPart) {
    const std::string data = Random(12000, 8);
    const std::vector<CString> volumes = PackFiles({{"sub\\split.bin", data}}, 2, 4096);
    ASSERT_GE(volumes.size(), 3u);
    const CString member = P("dest\\sub\\split.bin");
    struct Case {
        const char* what;
        std::function<void()> before;  // prepares the destination
        int code;
        int msgId;
    };
    const std::vector<Case> cases = {
        {"volume 2 alone", [] {}, ZRK_PRIVILEGE, 550},
        {"the first part changed in size",
         [&] {
             ASSERT_EQ(CArchive().ExtractVolume(P("dest"), volumes[0], nullptr), 0);
             ASSERT_TRUE(WriteAll(member, ReadAll(member) + "x"));
         },
         ZRK_PRIVILEGE, 551},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(P("dest"));
        c.before();
        const std::string left = ReadAll(member);
        CRecordingScope scope;
        EXPECT_EQ(CArchive().ExtractVolume(P("dest"), volumes[1], nullptr), c.code);
        ASSERT_EQ(scope.entries.size(), 1u);
        EXPECT_EQ(scope.entries[0].msgId, c.msgId);
        EXPECT_EQ(ReadAll(member), left) << "nothing is opened for the continuation";
    }

    // A continuation that fails deletes the member, its first part too.
    RemoveTree(P("dest"));
    ASSERT_EQ(CArchive().ExtractVolume(P("dest"), volumes[0], nullptr), 0);
    ASSERT_TRUE(CFile::IsFile(member));
    std::string first = ReadAll(volumes[1]);
    const size_t header = 4 + std::string("sub\\split.bin").size() + 30;
    first[header + 1] ^= 0x80;  // the continuation's first literal
    const CString damaged = Volume(first, "damaged02.ar");
    CRecordingScope scope;
    EXPECT_EQ(CArchive().ExtractVolume(P("dest"), damaged, nullptr), ZRK_FAIL);
    EXPECT_EQ(scope.entries.back().msgId, MSG_ARCHIVE_CHECKSUM);
    EXPECT_FALSE(CFile::Exists(member));
}

// ---- the reader's other paths -------------------------------------------------------------

TEST_F(ArchiveTest, ProgressCancellationAndSkips) {
    const std::string big = Random(100000, 9);
    const CString volume =
        Volume(Magic(2) + PieceBytes("a.txt", "a", 2) + PieceBytes("big.bin", big, 2) + EndBytes("/ENDAR", 2));

    // Percentages of the volume, rising to the end of the last piece.
    std::vector<int> seen;
    ASSERT_EQ(CArchive().ExtractVolume(P("dest"), volume, nullptr,
                                       [&](int percent) {
                                           seen.push_back(percent);
                                           return 0;
                                       }),
              0);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_LE(seen.back(), 100);
    EXPECT_GE(seen.back(), 99);
    EXPECT_EQ(ReadAll(P("dest\\big.bin")), big);

    // Cancelled in the middle of a member: no message, the member is gone.
    RemoveTree(P("dest"));
    {
        CRecordingScope scope;
        int calls = 0;
        EXPECT_EQ(CArchive().ExtractVolume(P("dest"), volume, nullptr, [&](int) { return ++calls == 3 ? 2 : 0; }),
                  ZRK_CANCEL);
        EXPECT_EQ(scope.entries.size(), 0u) << scope.LastText();
        EXPECT_EQ(Tree(P("dest")), std::vector<std::string>{"a.txt"});
    }

    // A member skipped by the output hook is stepped over.
    RemoveTree(P("dest"));
    CRecordingArchive skipping;
    skipping.skipName = "a.txt";
    EXPECT_EQ(skipping.ExtractVolume(P("dest"), volume, nullptr), 0);
    EXPECT_EQ(Tree(P("dest")), std::vector<std::string>{"big.bin"});
}

// A failure of the system is reported once, by the layer that met it, and
// ends the extraction with its status: no "damaged" message follows. The
// member being written is deleted; nothing else in the destination changes.
TEST_F(ArchiveTest, SystemFailuresAreReportedOnceAndLeaveNoPartialMember) {
    using zrkos::FaultError;
    using zrkos::FaultOp;
    const std::string big = Random(400000, 10);
    const CString volume = Volume(Magic(2) + PieceBytes("a.txt", "alpha", 2) + PieceBytes("sub\\big.bin", big, 2) +
                                  EndBytes("/ENDAR", 2));
    const std::vector<std::string> first = {"a.txt", "keep.txt", "sub\\"};
    struct Case {
        const char* what;
        FaultOp op;
        int nth;  // the failing call, counted from the start of the extraction
        FaultError error;
        int code;
        int msgId;
        std::vector<std::string> left;
    };
    const std::vector<Case> cases = {
        // Volume reads are 48 KiB each, the member's writes larger: both
        // fail inside big.bin.
        {"disk full in the middle of a member", FaultOp::Write, 3, FaultError::DiskFull, ZRK_FAIL, 424, first},
        {"a read error in the middle of the volume", FaultOp::Read, 2, FaultError::IoError, ZRK_FAIL, 420, first},
        {"a member's close fails", FaultOp::Close, 1, FaultError::IoError, ZRK_FAIL, 443, {"keep.txt"}},
        {"a member cannot be created", FaultOp::Open, 2, FaultError::AccessDenied, ZRK_ACCESS, 418, {"keep.txt"}},
        {"a member's directory cannot be made", FaultOp::MakeDir, 1, FaultError::AccessDenied, ZRK_FAIL, 428,
         {"a.txt", "keep.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(P("dest"));
        ASSERT_EQ(CFile::MakeAllDirs(P("dest\\")), 0);
        ASSERT_TRUE(WriteAll(P("dest\\keep.txt"), "kept"));
        CRecordingScope scope;
        {
            zrkos::CFaultScope fault(c.op, c.nth, c.error, zrkos::CFaultScope::kEvery);
            EXPECT_EQ(CArchive().ExtractVolume(P("dest"), volume, nullptr), c.code);
            EXPECT_GE(fault.Fired(), 1);
        }
        ASSERT_EQ(scope.entries.size(), 1u) << scope.LastText();
        EXPECT_EQ(scope.entries[0].msgId, c.msgId);
        EXPECT_EQ(scope.entries[0].code, c.code);
        EXPECT_EQ(Tree(P("dest")), c.left);
        EXPECT_EQ(ReadAll(P("dest\\keep.txt")), "kept");
        if (CFile::Exists(P("dest\\a.txt"))) {
            EXPECT_EQ(ReadAll(P("dest\\a.txt")), "alpha");
        }
    }
}

// Every large buffer of the reader, the expander, the writer and the
// compressor fails in turn: one "out of memory", and nothing half done.
TEST_F(ArchiveTest, EachFailedAllocationIsReportedOnce) {
    const ZrkOutOfMemoryHandler handler = ZrkSetOutOfMemoryHandler(nullptr);  // no retries
    const std::map<std::string, std::string> files = {{"a.txt", Text(70000)}, {"b.bin", Random(70000, 11)}};
    const CString volume = PackFiles(files, 2, 1 << 20).at(0);
    for (int packing = 0; packing < 2; ++packing) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE(std::string(packing ? "packing" : "extracting") + ", large allocation " + std::to_string(n));
            RemoveTree(P("dest"));
            CRecordingScope scope;
            zrkos::CFaultScope fault(zrkos::FaultOp::Alloc, n, zrkos::FaultError::NoMemory);
            fault.SetMinimumSize(4096);
            const int r = packing ? Pack("src\\b.bin", "b.bin") : CArchive().ExtractVolume(P("dest"), volume, nullptr);
            if (fault.Fired() == 0) {  // each one has failed once
                EXPECT_EQ(r, 0);
                EXPECT_GE(n, 3);
                break;
            }
            EXPECT_EQ(r, ZRK_NOMEM);
            ASSERT_EQ(scope.entries.size(), 1u) << scope.LastText();
            EXPECT_EQ(scope.entries[0].msgId, MSG_OUT_OF_MEMORY);
            EXPECT_EQ(scope.entries[0].code, ZRK_NOMEM);
            for (const std::string& name : Tree(P("dest"))) EXPECT_EQ(ReadAll(P(("dest\\" + name).c_str())), files.at(name));
        }
    }
    ZrkSetOutOfMemoryHandler(handler);
}

TEST_F(ArchiveTest, FailuresOutsideTheVolumeData) {
    ASSERT_TRUE(WriteAll(P("s.txt"), "s"));
    struct Case {
        const char* what;
        std::function<int()> run;
        int code;
        int msgId;
    };
    const std::vector<Case> cases = {
        {"a missing volume", [&] { return CArchive().ExtractVolume(P("d"), P("none.ar"), nullptr); }, ZRK_FAIL, 544},
        {"an empty volume with progress",
         [&] { return CArchive().ExtractVolume(P("d"), Volume("", "zero.ar"), nullptr, [](int) { return 0; }); },
         ZRK_FAIL, 545},
        {"a missing source file", [&] { return Pack("missing.txt", "x"); }, ZRK_FAIL, 544},
        {"a member name that cannot be extracted",  // refused before a volume is begun
         [&] { return Pack("s.txt", "..\\s.txt") + CFile::Exists(P("w01.ar")); }, ZRK_FAIL, 546},
        {"disk full while packing",  // the magic is written, the piece is not
         [&] {
             zrkos::CFaultScope fault(zrkos::FaultOp::Write, 2, zrkos::FaultError::DiskFull);
             return Pack("s.txt", "s.txt");
         },
         ZRK_FAIL, 424},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CRecordingScope scope;
        EXPECT_EQ(c.run(), c.code);
        ASSERT_EQ(scope.entries.size(), 1u);
        EXPECT_EQ(scope.entries[0].msgId, c.msgId);
        EXPECT_EQ(scope.entries[0].code, c.code);
    }
    CArchive small;
    small.SetVolumeLimit(CArchive::kMinVolumeLimit - 1);
    EXPECT_EQ(small.ResetVolumes(), ZRK_INTERNAL);
}

}  // namespace
