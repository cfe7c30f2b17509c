// setupkit archive, list, extract, verify and lzw: archive volumes and the
// raw LZW codec.
//
//   setupkit archive --out DIR --base NAME --volume-size BYTES [--format 1|2] SOURCEDIR
//   setupkit list VOLUME...
//   setupkit extract --to DIR VOLUME...
//   setupkit verify VOLUME...
//   setupkit lzw compress IN OUT [--limit BYTES]
//   setupkit lzw expand IN OUT
//
// archive stores every file below SOURCEDIR as a member named by its path
// relative to SOURCEDIR (backslashes between directories), members in
// ascending byte order of their names, in volumes DIR\NAME01.ar,
// NAME02.ar, ... of at most BYTES each; the last ends with "/ENDAR". Empty
// directories are not stored: a volume holds files only.
//
// list prints one line per piece, fields separated by tabs:
//
//   NAME  FILESIZE  PIECEOFFSET  PIECESIZE  PACKEDSIZE  DATACRC  TIME
//
// (the CRC in hexadecimal, the time as stored, YYYY-MM-DD HH:MM:SS or "-"
// when none), and after each volume's pieces its end marker, "/END" or
// "/ENDAR". Piece data is not read.
//
// extract and verify take the volumes of one archive in order: a member
// continued at the end of a volume must go on at the start of the next
// one, and the last volume must end the archive. extract writes the members
// below DIR; after a failure no partly written member is left. verify
// expands every piece and checks its CRC without writing anything.
//
// lzw turns a file into one raw LZW stream (the packed bytes alone) and
// back; with --limit the stream stops taking input once it has reached that
// many bytes.
//
// The framework's option syntax is -name:value; "--name VALUE" is accepted
// and rewritten to it. A parameter that is a POSIX path ("/dir/file") is
// read as a parameter, not as an option.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "build_files.h"
#include "cmdwords.h"
#include "verbs.h"
#include "zrk/archive.h"
#include "zrk/cfile.h"
#include "zrk/comp.h"
#include "zrk/ctimeex.h"
#include "zrk/parsers.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

CString WithSlash(const CString& dir) {
    if (dir.IsEmpty() || dir.EndsWith("\\") || dir.EndsWith("/")) return dir;
    return dir + "\\";
}

}  // namespace

// ---- archive -----------------------------------------------------------------

int SetupkitArchive(const char* args) {
    CParser parser(SetupkitJoinOptionWords(args, {"out", "base", "volume-size", "format"}));
    parser.SetProgramName("setupkit archive");
    ZRK_TRY(parser.DeclareOption("-out|out", "DIR", "Directory the volumes are written to", ZRK_VT_TEXT,
                                 ZRK_OPT_MANDATORY));
    ZRK_TRY(parser.DeclareOption("-base|base", "NAME", "Base of the volume names: NAME01.ar, NAME02.ar, ...",
                                 ZRK_VT_FILE, ZRK_OPT_MANDATORY));
    ZRK_TRY(parser.DeclareOption("-volume-size|volume-size", "BYTES",
                                 "Largest size of a volume (at least 2048; K and M allowed: 1440K)", ZRK_VT_SIZE,
                                 ZRK_OPT_MANDATORY));
    ZRK_TRY(parser.DeclareOption("-format|format", "1|2", "Volume format (default 2: with file times)",
                                 ZRK_VT_CHOICE, 0, "2"));
    ZRK_TRY(parser.DeclarePositional("sourcedir", "Directory whose files become the members", ZRK_VT_TEXT));
    ZRK_TRY(parser.Parse());

    const CString base = parser.Text("base");
    if (base.Find('\\') >= 0 || base.Find('/') >= 0 || base.Find(':') >= 0)
        return ZrkErrorId(ZRK_FAIL, MSG_BAD_VALUE, "base", "file name without directory");
    const int64_t limit = parser.Value("volume-size").Number();
    if (limit < CArchive::kMinVolumeLimit)
        return ZrkErrorId(ZRK_FAIL, MSG_BAD_VALUE, "volume-size", "size of at least 2048 bytes");
    const CString source = parser.Positional(0).Text();
    if (!CFile::IsDirectory(source)) return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_NO_FILE, source.c_str());

    std::vector<SetupkitTreeFile> members;
    ZRK_TRY(SetupkitCollectFiles(WithSlash(source), &members));

    const CString outDir = WithSlash(parser.Text("out"));
    ZRK_TRY(CFile::MakeAllDirs(outDir));
    CArchive archive;
    archive.SetWriteVersion(parser.Value("format").Number() == 0 ? 1 : 2);
    archive.SetVolumeLimit(limit);
    archive.SetDirectory(outDir);
    archive.SetBaseName(base);
    ZRK_TRY(archive.ResetVolumes());

    CFile volume;
    CByteBuffer buffer;
    int r = 0;
    for (const SetupkitTreeFile& m : members) {
        CFile file;
        file.SetPath(m.path);
        r = archive.AddFile(file, m.name, volume, buffer);
        if (r != 0) break;
    }
    if (r == 0) r = archive.WriteEndMarker(volume, true);
    if (r != 0) {
        // No half-made set of volumes is left behind.
        volume.Close();
        for (int n = 1; n <= archive.VolumeNumber(); ++n)
            CFile::RemoveFile(outDir + CString::Printf("%s%02d.ar", base.c_str(), n));
        return r;
    }
    std::printf("%d files, %lld bytes, %d volumes\n", static_cast<int>(members.size()),
                static_cast<long long>(archive.TotalIn()), archive.VolumeNumber());
    std::fflush(stdout);
    return 0;
}

// ---- list ----------------------------------------------------------------------

namespace {

// Prints each piece header and skips its data.
class CListArchive : public CArchive {
public:
    int OpenMemberOutput(const CArchiveEntry& e, const char*) override {
        CString time("-");
        if (e.fileTime != 0) {
            CTimeEx when;
            when.FromArchiveSeconds(e.fileTime);
            const CTimeParts p = when.Parts();
            time.Format("%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                        static_cast<int>(p.seconds));
        }
        std::printf("%s\t%u\t%u\t%u\t%u\t%08X\t%s\n", e.name.c_str(), static_cast<unsigned>(e.fileSize),
                    static_cast<unsigned>(e.pieceOffset), static_cast<unsigned>(e.pieceSize),
                    static_cast<unsigned>(e.packedSize), static_cast<unsigned>(e.dataCrc), time.c_str());
        return ZRK_SKIP;
    }
};

int DeclareVolumes(CParser& parser) {
    return parser.DeclarePositional("volume", "Archive volumes, in order (NAME01.ar NAME02.ar ...)", ZRK_VT_TEXT,
                                    ZRK_PARAM_REST);
}

}  // namespace

int SetupkitList(const char* args) {
    CParser parser(SetupkitJoinOptionWords(args, {}));
    parser.SetProgramName("setupkit list");
    ZRK_TRY(DeclareVolumes(parser));
    ZRK_TRY(parser.Parse());

    CListArchive archive;
    for (int i = 0; i < parser.PositionalCount(); ++i) {
        int end = 0;
        const int r = archive.ExtractVolume("", parser.Positional(i).Text(), &end);
        std::fflush(stdout);
        ZRK_TRY(r);
        std::printf("%s\n", end ? CArchiveEntry::kEndArchiveName : CArchiveEntry::kEndName);
    }
    std::fflush(stdout);
    return 0;
}

// ---- extract and verify ------------------------------------------------------------

namespace {

// Extracts (or, for verify, only expands and checks) the volumes of one
// archive, following members from one volume into the next.
class CJoiningArchive : public CArchive {
public:
    explicit CJoiningArchive(bool verifyOnly) : m_verifyOnly(verifyOnly) {}

    // Runs over the volumes in order. After a failure the member waiting
    // for its continuation is deleted (a failed piece deletes its own).
    int Run(const CString& destDir, const CParser& parser) {
        int r = 0;
        int end = 1;
        for (int i = 0; i < parser.PositionalCount() && r == 0; ++i) {
            m_volume = parser.Positional(i).Text();
            r = ExtractVolume(destDir, m_volume, &end);
            if (r == 0 && end && !m_pendingName.IsEmpty())
                r = ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_INCOMPLETE, m_pendingName.c_str(), m_volume.c_str());
        }
        if (r == 0 && !end) r = ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_NEXT_MISSING, m_volume.c_str());
        if (r != 0) DropPending();
        return r;
    }

    int OpenMemberOutput(const CArchiveEntry& e, const char* destDir) override {
        if (!m_pendingName.IsEmpty() &&
            (e.pieceOffset == 0 || e.name != m_pendingName || e.pieceOffset != m_pendingOffset)) {
            const int r = ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_INCOMPLETE, m_pendingName.c_str(), m_volume.c_str());
            DropPending();
            return r;
        }
        // Only the volume before may have begun a member.
        if (e.pieceOffset != 0 && m_pendingName.IsEmpty()) {
            const CString shown = m_verifyOnly ? e.name : CString(destDir) + e.name;
            return ZrkErrorId(ZRK_PRIVILEGE, MSG_ARCHIVE_NO_FIRST_PART, shown.c_str());
        }
        if (m_verifyOnly) return 0;
        return CArchive::OpenMemberOutput(e, destDir);
    }

    int CloseMemberOutput(const CArchiveEntry& e, int result) override {
        const int r = m_verifyOnly ? 0 : CArchive::CloseMemberOutput(e, result);
        m_pendingName.Empty();
        m_pendingPath.Empty();
        if (result == 0 && r == 0 && !e.IsLastPiece()) {
            m_pendingName = e.name;
            m_pendingPath = MemberPath();
            m_pendingOffset = e.pieceOffset + e.pieceSize;
        }
        return r;
    }

protected:
    int WriteMemberData(const uint8_t* data, int count) override {
        return m_verifyOnly ? 0 : CArchive::WriteMemberData(data, count);
    }

private:
    void DropPending() {
        if (!m_verifyOnly && !m_pendingPath.IsEmpty() && CFile::IsFile(m_pendingPath))
            CFile::RemoveFile(m_pendingPath);
        m_pendingName.Empty();
        m_pendingPath.Empty();
    }

    bool m_verifyOnly;
    CString m_volume;
    CString m_pendingName;  // member continued in the next volume
    CString m_pendingPath;
    uint32_t m_pendingOffset = 0;
};

}  // namespace

int SetupkitExtract(const char* args) {
    CParser parser(SetupkitJoinOptionWords(args, {"to"}));
    parser.SetProgramName("setupkit extract");
    ZRK_TRY(parser.DeclareOption("-to|to", "DIR", "Directory the members are written below", ZRK_VT_TEXT,
                                 ZRK_OPT_MANDATORY));
    ZRK_TRY(DeclareVolumes(parser));
    ZRK_TRY(parser.Parse());

    const CString dest = WithSlash(parser.Text("to"));
    ZRK_TRY(CFile::MakeAllDirs(dest));
    CJoiningArchive archive(false);
    return archive.Run(dest, parser);
}

int SetupkitVerify(const char* args) {
    CParser parser(SetupkitJoinOptionWords(args, {}));
    parser.SetProgramName("setupkit verify");
    ZRK_TRY(DeclareVolumes(parser));
    ZRK_TRY(parser.Parse());

    CJoiningArchive archive(true);
    ZRK_TRY(archive.Run(CString(), parser));
    std::printf("%d volumes verified\n", parser.PositionalCount());
    std::fflush(stdout);
    return 0;
}

// ---- lzw -------------------------------------------------------------------------

int SetupkitLzw(const char* args) {
    CParser parser(SetupkitJoinOptionWords(args, {"limit"}));
    parser.SetProgramName("setupkit lzw");
    ZRK_TRY(parser.DeclareOption("-limit|limit", "BYTES", "compress: stop taking input at this output size",
                                 ZRK_VT_SIZE));
    ZRK_TRY(parser.DeclarePositional("compress|expand", "What to do", ZRK_VT_CHOICE));
    ZRK_TRY(parser.DeclarePositional("in", "The file to read", ZRK_VT_TEXT));
    ZRK_TRY(parser.DeclarePositional("out", "The file to write", ZRK_VT_TEXT));
    ZRK_TRY(parser.Parse());

    const bool compress = parser.Positional(0).Number() == 0;
    const CString in = parser.Positional(1).Text();
    const CString out = parser.Positional(2).Text();
    // Every failure of a file, and a lack of memory, is reported where it
    // arose; a damaged stream (silent in the codec) is reported here.
    int r = 0;
    if (compress) {
        CLzwCompressor compressor;
        compressor.Input().SetPath(in);
        compressor.Output().SetPath(out);
        compressor.SetOutputLimit(parser.Value("limit").Number());
        r = compressor.Run();
    } else {
        CLzwExpander expander;
        expander.Input().SetPath(in);
        expander.Output().SetPath(out);
        r = expander.Run();
        if (r == ZRK_BADDATA) r = ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_DAMAGED, in.c_str());
    }
    if (r != 0 && CFile::IsFile(out) && CFile::Normalise(out) != CFile::Normalise(in)) CFile::RemoveFile(out);
    return r;
}
