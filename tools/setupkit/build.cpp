// setupkit build: a product's distribution disks from its description and
// the directory trees of its packages.
//
//   setupkit build --inf FILE --package NAME=DIR... --disk-size SIZE --out DIST
//                  [--programs DIR] [--external]
//
// Layout. DIST\disk1, DIST\disk2, ... each hold their marker disk1.dsk,
// disk2.dsk, ...; with --external (an external package's own description
// E.inf) the disks are DIST\E1, DIST\E2, ... with markers E1.dsk, ..., the
// directories the installer looks for beside the main product's disk 1.
// The packages of the description are built in its order, each into volumes
// ARCHIVENAME.NNN, one per disk the package spans (NNN the disk's number);
// a package begins where the one before it ended, on a new disk only when
// less than the smallest volume is left. Disk 1 also carries the
// description, the generated file (below), the description's TXT,
// INSTALLBITMAP and SETUPFILE files found beside it and, with --programs,
// setup.exe, setup.res, quietinst.exe and quietinst.res. No disk directory
// holds more than SIZE bytes of files: the builder keeps room on disk 1 for
// the generated file before it packs, and checks every disk at the end.
//
// The generated file E.pkg (setup.pkg for setup.inf) holds each package's
// COMPSIZE, DISK and FILE entries, sizes in KiB rounded up, in a section
// "#if $(PACKAGE) == NAME". The description takes them inside each package's
// block with
//
//   #define PACKAGE NAME
//   #include "setup.pkg"
//
// and lists it as SETUPFILE so that an installed copy reads back the same.
//
// Everything is checked before anything is written: the arguments, the
// description (read as the installer reads it, with a placeholder for the
// generated file, so that a package that does not include it is refused),
// every described package given a directory and every given one described,
// the member names and sizes, room on disk 1. A build that fails later
// removes what it wrote. The same inputs give the same bytes: members in
// byte order of their names, times from the files or from SOURCE_DATE_EPOCH.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "build.h"
#include "build_files.h"
#include "cmdwords.h"
#include "src/infstruc/reader.h"
#include "verbs.h"
#include "zrk/archive.h"
#include "zrk/cfgfile.h"
#include "zrk/cfile.h"
#include "zrk/parsers.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

const char* const kProgramFiles[] = {"setup.exe", "setup.res", "quietinst.exe", "quietinst.res"};

CString WithSlash(const CString& dir) {
    if (dir.IsEmpty() || dir.EndsWith("\\") || dir.EndsWith("/")) return dir;
    return dir + "\\";
}

CString Bytes(int64_t n) { return CString::Printf("%lld", static_cast<long long>(n)); }

bool OnTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(fileno(stdout)) != 0;
#endif
}

int ReadWholeFile(const CString& path, std::string* content) {
    CFile file;
    ZRK_TRY(file.Open(path, "r"));
    char chunk[8192];
    long got = 0;
    int r = 0;
    while ((r = file.Read(chunk, sizeof chunk, &got)) == 0 && got > 0) content->append(chunk, static_cast<size_t>(got));
    ZRK_KEEP(r, file.Close());
    return r;
}

int WriteWholeFile(const CString& path, const CString& text) {
    CFile file;
    ZRK_TRY(file.Open(path, "w"));
    int r = file.Write(text.c_str(), text.Length());
    ZRK_KEEP(r, file.Close());
    return r;
}

// A package to build: its record's names, its directory and its files.
struct Job {
    CString name;
    CString archive;
    CString dir;
    std::vector<SetupkitTreeFile> files;
    int64_t bytes = 0;
};

// A file that goes to disk 1 besides the volumes: its source and its name there.
struct Extra {
    CString source;
    CString name;
};

class CBuild;

// The archive writer of one package: each volume on a disk of its own,
// named ARCHIVE.NNN after that disk, its limit the room left there.
class CDiskWriter : public CArchive {
public:
    CDiskWriter(CBuild& build, const CString& archive) : m_build(build), m_archive(archive) {}
    const CString& Path() const { return m_path; }
    const std::vector<int>& Disks() const { return m_disks; }

protected:
    CString NewVolumePath(int number) override;

private:
    CBuild& m_build;
    CString m_archive;
    CString m_path;
    std::vector<int> m_disks;
};

// Sums the compressed bytes of each member over the volumes it reads.
class CPackedSizes : public CArchive {
public:
    std::map<std::string, uint64_t> packed;
    int OpenMemberOutput(const CArchiveEntry& e, const char*) override {
        packed[e.name.c_str()] += e.packedSize;
        return ZRK_SKIP;
    }
};

class CBuild {
public:
    int Run(const CParser& parser);

    // The disk being filled and the room left on it.
    int Disk() const { return static_cast<int>(m_used.size()); }
    int64_t Room() const { return m_size - m_used.back(); }
    // Starts the next disk: its directory and the room its marker takes.
    int NextDisk() {
        m_used.push_back(Marker(Disk() + 1).Length());
        return CFile::MakeAllDirs(DiskDir(Disk()));
    }
    // A volume of the current disk is complete.
    void VolumeDone(const CString& path) { m_used.back() += CFile::FileSize64(path); }
    CString DiskDir(int disk) const { return m_out + CString::Printf("%s%d\\", m_prefix.c_str(), disk); }

private:
    int Check(const CParser& parser);
    int ReadDescription(const CString& generated, CInfDescription* desc) const;
    int CheckPackages(const CParser& parser, const CInfDescription& desc);
    int CheckSetupFiles(const CInfDescription& desc, const CParser& parser);
    int Write(int64_t reserve, CString* generated);
    int Pack(Job& job, SetupkitBuiltPackage* built);
    void Progress(const Job& job, int64_t done) const;
    int CheckDisks() const;
    void Summary(const std::vector<SetupkitBuiltPackage>& built) const;
    void RemoveOutput() const;
    CString Marker(int disk) const {
        return m_label.IsEmpty() ? CString::Printf("Disk %d\r\n", disk)
                                 : CString::Printf("%s, disk %d\r\n", m_label.c_str(), disk);
    }
    std::vector<SetupkitBuiltPackage> Placeholders() const;

    CString m_inf, m_generatedName, m_out, m_prefix, m_label;
    int64_t m_size = 0;
    bool m_fixedTime = false;
    uint32_t m_time = 0;
    std::vector<Job> m_jobs;
    std::vector<Extra> m_extras;  // to disk 1, the description first
    int64_t m_fixedBytes = 0;     // of the extras
    int64_t m_reserve = 0;        // room kept on disk 1 for the generated file
    std::vector<int64_t> m_used;  // bytes on each disk so far
    int64_t m_packedTotal = 0;
    bool m_madeOut = false;
};

CString CDiskWriter::NewVolumePath(int number) {
    int r = 0;
    if (number > 1) {
        m_build.VolumeDone(m_path);
        r = m_build.NextDisk();
    } else if (m_build.Room() < kMinVolumeLimit) {
        r = m_build.NextDisk();
    }
    if (r != 0) return CString();  // reported
    SetVolumeLimit(m_build.Room());
    m_disks.push_back(m_build.Disk());
    m_path = m_build.DiskDir(m_build.Disk()) + CString::Printf("%s.%03d", m_archive.c_str(), m_build.Disk());
    return m_path;
}

int CBuild::Run(const CParser& parser) {
    ZRK_TRY(Check(parser));
    int64_t reserve = m_reserve;
    CString generated;
    for (;;) {
        const int r = Write(reserve, &generated);
        if (r != 0 || generated.Length() > reserve) RemoveOutput();
        ZRK_TRY(r);
        if (generated.Length() <= reserve) break;
        reserve = generated.Length();
    }
    return 0;
}

std::vector<SetupkitBuiltPackage> CBuild::Placeholders() const {
    std::vector<SetupkitBuiltPackage> list;
    for (const Job& job : m_jobs) {
        SetupkitBuiltPackage p;
        p.name = job.name;
        for (const SetupkitTreeFile& f : job.files) p.files.push_back({f.name, 0xFFFFFFFFull * 1024, 0xFFFFFFFFull * 1024});
        list.push_back(p);
    }
    return list;
}

// ---- checks: nothing is written before they pass --------------------------------

int CBuild::Check(const CParser& parser) {
    m_inf = CFile::Normalise(parser.Text("inf"));
    if (!CFile::IsFile(m_inf)) return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_NO_FILE, m_inf.c_str());
    const bool external = parser.WasGiven("external");
    m_prefix = external ? CFile::BaseName(m_inf) : CString("disk");
    m_generatedName = CFile::BaseName(m_inf) + ".pkg";
    m_out = WithSlash(CFile::Normalise(parser.Text("out")));
    m_size = parser.Value("disk-size").Number();
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
        m_fixedTime = true;
        m_time = static_cast<uint32_t>(std::strtoul(epoch, nullptr, 10));
    }

    CInfDescription desc;
    ZRK_TRY(ReadDescription(CString(), &desc));
    if (external && desc.packages.Count() != 1)
        return ZrkErrorId(ZRK_FAIL, MSG_BUILD_EXTERNAL_COUNT, m_inf.c_str(), desc.packages.Count());
    m_label = desc.HeaderValue("DISKLABEL");
    // Every disk holds its marker and at least the smallest volume.
    const int64_t least = CArchive::kMinVolumeLimit + Marker(999).Length();
    if (m_size < least)
        return ZrkErrorId(ZRK_FAIL, MSG_BUILD_DISK_TOO_SMALL, Bytes(m_size).c_str(), Bytes(least).c_str());
    ZRK_TRY(CheckPackages(parser, desc));

    // The description must take each package's entries from the generated
    // file: read with a placeholder, every package has the disk 0 and its
    // files, nothing more.
    CInfDescription check;
    ZRK_TRY(ReadDescription(SetupkitSizesText(Placeholders(), true), &check));
    for (const Job& job : m_jobs) {
        const int at = check.FindPackage(job.name);
        if (at < 0 || check.packages[at].Disks() != std::vector<int>{0} ||
            check.packages[at].Files().Count() != static_cast<int>(job.files.size()))
            return ZrkErrorId(ZRK_FAIL, MSG_BUILD_NOT_INCLUDED, m_inf.c_str(), job.name.c_str());
    }
    ZRK_TRY(CheckSetupFiles(desc, parser));
    // The generated file's size is known only at the end; the room kept for
    // it is its size with the largest numbers, and grows if a package spans
    // more disks than foreseen.
    m_reserve = SetupkitSizesText(Placeholders()).Length();
    for (const Job& job : m_jobs) m_reserve += 12 * (2 + (job.bytes * 3 / 2 + 1024 * job.files.size()) / m_size);
    if (m_fixedBytes + m_reserve + Marker(1).Length() > m_size)
        return ZrkErrorId(ZRK_FAIL, MSG_BUILD_DISK1_FULL, Bytes(m_fixedBytes + m_reserve).c_str(),
                          Bytes(m_size - Marker(1).Length()).c_str(), Bytes(m_size).c_str());

    // No disk of this prefix may be there already: a stale disk 3 beside a
    // new two-disk build would be taken for part of it, and the clean-up of
    // a failed build must remove only what the build wrote.
    CFileList dirs(m_out, "*", CFileList::DIRECTORIES);
    for (int i = 0; i < dirs.Count(); ++i) {
        const CString name = CFile::FilePart(CString(dirs[i].c_str(), dirs[i].Length() - 1));
        const char* digits = name.c_str() + m_prefix.Length();
        if (name.Length() > m_prefix.Length() && CString(name.c_str(), m_prefix.Length()).CompareNoCase(m_prefix) == 0 &&
            std::strspn(digits, "0123456789") == std::strlen(digits))
            return ZrkErrorId(ZRK_FAIL, MSG_BUILD_OUT_EXISTS, dirs[i].c_str());
    }
    return 0;
}

int CBuild::ReadDescription(const CString& generated, CInfDescription* desc) const {
    // The description is read from memory together with the generated file
    // as it would stand beside it on disk 1; any other file it includes is
    // not on the disk and is not found here either.
    CCfgMemoryFiles files;
    ZRK_TRY(ReadWholeFile(m_inf, &files[m_inf.c_str()]));
    const CString pkg = CFile::Join(CFile::DirPart(m_inf), m_generatedName);
    files[pkg.c_str()] = std::string(generated.c_str(), static_cast<size_t>(generated.Length()));
    CCfgFile reader;
    InfPrepareReader(reader);
    reader.SetMemoryFiles(&files);
    ZRK_TRY(reader.OpenRelative(m_inf));
    int r = InfReadDescription(reader, *desc);
    ZRK_KEEP(r, reader.Close(r == 0));
    return r;
}

int CBuild::CheckPackages(const CParser& parser, const CInfDescription& desc) {
    std::map<std::string, CString> dirs;  // by package name
    for (int i = 0; i < parser.ValueCount("package"); ++i) {
        const CString& arg = parser.Text("package", i);
        CString name, dir;
        if (!SetupkitSplitPackageArg(arg, &name, &dir)) return ZrkErrorId(ZRK_FAIL, MSG_BUILD_PACKAGE_SYNTAX, arg.c_str());
        if (dirs.count(name.c_str())) return ZrkErrorId(ZRK_FAIL, MSG_BUILD_PACKAGE_TWICE, name.c_str());
        const int at = desc.FindPackage(name);
        if (at < 0) return ZrkErrorId(ZRK_FAIL, MSG_BUILD_UNKNOWN_PACKAGE, name.c_str(), m_inf.c_str());
        const CPackage& p = desc.packages[at];
        if (!p.External().IsEmpty())
            return ZrkErrorId(ZRK_FAIL, MSG_BUILD_PACKAGE_EXTERNAL, name.c_str(), p.External().c_str());
        if (!CFile::IsDirectory(dir)) return ZrkErrorId(ZRK_FAIL, MSG_BUILD_NO_DIRECTORY, dir.c_str(), name.c_str());
        dirs[name.c_str()] = WithSlash(dir);
    }
    for (int i = 0; i < desc.packages.Count(); ++i) {
        const CPackage& p = desc.packages[i];
        if (!p.External().IsEmpty()) continue;
        const auto it = dirs.find(p.Name().c_str());
        if (it == dirs.end())
            return ZrkErrorId(ZRK_FAIL, MSG_BUILD_PACKAGE_NOT_GIVEN, p.Name().c_str(), m_inf.c_str(), p.Name().c_str());
        if (!SetupkitIsSelectableName(p.Name())) return ZrkErrorId(ZRK_FAIL, MSG_BUILD_PACKAGE_NAME, p.Name().c_str());
        if (!CArchive::IsValidMemberName(p.ArchiveName() + ".001"))
            return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_BAD_NAME, (p.ArchiveName() + ".001").c_str());
        Job job{p.Name(), p.ArchiveName(), it->second, {}, 0};
        ZRK_TRY(SetupkitCollectFiles(job.dir, &job.files));
        for (const SetupkitTreeFile& f : job.files) {
            if (!CArchive::IsValidMemberName(f.name)) return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_BAD_NAME, f.name.c_str());
            const int64_t size = CFile::FileSize64(f.path);
            if (size < 0) return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_FILE_SIZE_TIME, f.path.c_str());
            if (size > int64_t{0xFFFFFFFF})
                return ZrkErrorId(ZRK_FAIL, MSG_BUILD_FILE_TOO_LARGE, f.path.c_str(), Bytes(size).c_str());
            job.bytes += size;
        }
        m_jobs.push_back(std::move(job));
    }
    return 0;
}

int CBuild::CheckSetupFiles(const CInfDescription& desc, const CParser& parser) {
    const CString home = CFile::DirPart(m_inf);
    CStringList names;  // on disk 1, compared without regard to case
    names.Add(CFile::FilePart(m_inf));
    names.Add(m_generatedName);
    m_extras.push_back({m_inf, CFile::FilePart(m_inf)});
    for (const char* program : kProgramFiles) {
        names.Add(program);
        if (!parser.WasGiven("programs")) continue;
        const CString source = CFile::Join(parser.Text("programs"), program);
        if (!CFile::IsFile(source)) return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_NO_FILE, source.c_str());
        m_extras.push_back({source, program});
    }
    for (const CInfHeaderKey& key : desc.header) {
        const bool setupFile = key.name.CompareNoCase("SETUPFILE") == 0;
        if (!setupFile && key.name.CompareNoCase("TXT") != 0 && key.name.CompareNoCase("INSTALLBITMAP") != 0) continue;
        // A setup file's source name comes before an optional ",destination";
        // a value in quotes loses its first and last characters first.
        CString value = key.value;
        if (setupFile && value.StartsWith("\"") && value.Length() >= 2) value = CString(value.c_str() + 1, value.Length() - 2);
        CString name = value;
        if (setupFile) value.SplitFirst(',', name);
        name.Trim();
        if (name.IsEmpty() || names.Find(name, false) >= 0) continue;
        names.Add(name);
        const CString source = CFile::Join(home, name);
        if (CFile::IsAbsolute(name) || !CFile::IsFile(source)) {
            ZrkWarningId(MSG_BUILD_SETUP_FILE_MISSING, name.c_str(), key.name.c_str());
            continue;
        }
        m_extras.push_back({source, name});
    }
    m_fixedBytes = 0;
    for (const Extra& e : m_extras) m_fixedBytes += CFile::FileSize64(e.source);
    return 0;
}

// ---- writing ---------------------------------------------------------------------------

int CBuild::Write(int64_t reserve, CString* generated) {
    m_used.clear();
    m_packedTotal = 0;
    if (!CFile::Exists(m_out)) {
        ZRK_TRY(CFile::MakeAllDirs(m_out));
        m_madeOut = true;
    }
    m_used.push_back(m_fixedBytes + reserve + Marker(1).Length());
    ZRK_TRY(CFile::MakeAllDirs(DiskDir(1)));
    // Only a reservation grown past the disk is left to find here.
    if (m_used.back() > m_size)
        return ZrkErrorId(ZRK_FAIL, MSG_BUILD_DISK1_FULL, Bytes(m_fixedBytes + reserve).c_str(),
                          Bytes(m_size - Marker(1).Length()).c_str(), Bytes(m_size).c_str());

    std::vector<SetupkitBuiltPackage> built;
    for (Job& job : m_jobs) {
        built.push_back({job.name, {}, {}});
        ZRK_TRY(Pack(job, &built.back()));
    }
    if (OnTerminal()) std::printf("\r%-70s\r", "");

    *generated = SetupkitSizesText(built);
    if (generated->Length() > reserve) return 0;  // the caller builds again with more room
    for (const Extra& e : m_extras) {
        const CString target = DiskDir(1) + e.name;
        ZRK_TRY(CFile::MakeAllDirs(target));
        ZRK_TRY(CFile::Copy(e.source, target));
    }
    ZRK_TRY(WriteWholeFile(DiskDir(1) + m_generatedName, *generated));
    for (int disk = 1; disk <= Disk(); ++disk)
        ZRK_TRY(WriteWholeFile(DiskDir(disk) + CString::Printf("%s%d.dsk", m_prefix.c_str(), disk), Marker(disk)));
    ZRK_TRY(CheckDisks());
    Summary(built);
    return 0;
}

int CBuild::Pack(Job& job, SetupkitBuiltPackage* built) {
    // A package without files has no volumes and no disks.
    if (job.files.empty()) return 0;
    CDiskWriter writer(*this, job.archive);
    if (m_fixedTime) writer.SetMemberTime(m_time);
    writer.SetVolumeLimit(m_size);
    ZRK_TRY(writer.ResetVolumes());
    CFile volume;
    CByteBuffer buffer;
    int64_t done = 0;
    int r = 0;
    for (const SetupkitTreeFile& f : job.files) {
        CFile source;
        source.SetPath(f.path);
        r = writer.AddFile(source, f.name, volume, buffer);
        if (r != 0) break;
        done += CFile::FileSize64(f.path);
        Progress(job, done);
    }
    if (r == 0) r = writer.WriteEndMarker(volume, true);
    volume.Close();
    ZRK_TRY(r);
    VolumeDone(writer.Path());
    built->disks = writer.Disks();

    // The compressed size of each member, read back from the volumes.
    CPackedSizes sizes;
    for (int disk : built->disks) {
        int end = 0;
        ZRK_TRY(sizes.ExtractVolume("", DiskDir(disk) + CString::Printf("%s.%03d", job.archive.c_str(), disk), &end));
    }
    for (const SetupkitTreeFile& f : job.files) {
        const uint64_t packed = sizes.packed[f.name.c_str()];
        built->files.push_back({f.name, static_cast<uint64_t>(CFile::FileSize64(f.path)), packed});
        m_packedTotal += static_cast<int64_t>(packed);
    }
    return 0;
}

void CBuild::Progress(const Job& job, int64_t done) const {
    if (!OnTerminal()) return;
    std::printf("\r%-12s %12lld of %lld bytes", job.name.c_str(), static_cast<long long>(done),
                static_cast<long long>(job.bytes));
    std::fflush(stdout);
}

int CBuild::CheckDisks() const {
    for (int disk = 1; disk <= Disk(); ++disk) {
        CFileList list(DiskDir(disk), "*", CFileList::FILES);
        int64_t total = 0;
        for (int i = 0; i < list.Count(); ++i) total += CFile::FileSize64(list[i]);
        // Setup files below directories of disk 1 are counted by the
        // reservation; the volumes and markers are flat.
        if (total > m_size)
            return ZrkErrorId(ZRK_FAIL, MSG_BUILD_DISK_OVERFLOW, disk, Bytes(total).c_str(), Bytes(m_size).c_str());
    }
    return 0;
}

void CBuild::Summary(const std::vector<SetupkitBuiltPackage>& built) const {
    std::printf("Disk     Bytes        Free\n");
    for (int disk = 1; disk <= Disk(); ++disk) {
        CFileList list(DiskDir(disk), "*", CFileList::FILES);
        int64_t total = 0;
        for (int i = 0; i < list.Count(); ++i) total += CFile::FileSize64(list[i]);
        std::printf("%-8s %-12lld %lld\n", (m_prefix + CString::Printf("%d", disk)).c_str(),
                    static_cast<long long>(total), static_cast<long long>(m_size - total));
    }
    std::printf("Package      Files  Bytes        Packed       Disks\n");
    int files = 0;
    int64_t bytes = 0;
    for (size_t i = 0; i < built.size(); ++i) {
        int64_t packed = 0;
        for (const SetupkitBuiltFile& f : built[i].files) packed += static_cast<int64_t>(f.packed);
        CString disks;
        for (int d : built[i].disks) disks += CString::Printf(disks.IsEmpty() ? "%d" : ",%d", d);
        std::printf("%-12s %-6d %-12lld %-12lld %s\n", built[i].name.c_str(), static_cast<int>(m_jobs[i].files.size()),
                    static_cast<long long>(m_jobs[i].bytes), static_cast<long long>(packed),
                    disks.IsEmpty() ? "-" : disks.c_str());
        files += static_cast<int>(m_jobs[i].files.size());
        bytes += m_jobs[i].bytes;
    }
    std::printf("%d disks, %d packages, %d files, %lld bytes packed into %lld\n", Disk(),
                static_cast<int>(built.size()), files, static_cast<long long>(bytes),
                static_cast<long long>(m_packedTotal));
    std::fflush(stdout);
}

// Removes the disk directories this build wrote (all of them, up to the
// first that is missing), and DIST when the build made it.
void CBuild::RemoveOutput() const {
    for (int disk = 1; CFile::IsDirectory(DiskDir(disk)); ++disk) {
        std::vector<SetupkitTreeFile> files;
        SetupkitCollectFiles(DiskDir(disk), &files);
        for (const SetupkitTreeFile& f : files) CFile::RemoveFile(f.path);
        CFileList dirs(DiskDir(disk), "*", CFileList::DIRECTORIES);
        for (int i = dirs.Count() - 1; i >= 0; --i) CFile::RemoveDir(dirs[i]);
        CFile::RemoveDir(DiskDir(disk));
    }
    if (m_madeOut) CFile::RemoveDir(m_out);
}

}  // namespace

int SetupkitBuild(const char* args) {
    CParser parser(SetupkitJoinOptionWords(args, {"inf", "package", "disk-size", "out", "programs"}));
    parser.SetProgramName("setupkit build");
    ZRK_TRY(parser.DeclareOption("-inf|inf", "FILE", "The description (setup.inf)", ZRK_VT_TEXT, ZRK_OPT_MANDATORY));
    ZRK_TRY(parser.DeclareOption("-package|package", "NAME=DIR", "A package of the description and its tree of files",
                                 ZRK_VT_TEXT, ZRK_OPT_MANDATORY | ZRK_OPT_REPEAT));
    ZRK_TRY(parser.DeclareOption("-disk-size|disk-size", "SIZE",
                                 "Usable bytes of one disk (K and M allowed; 1457664 for a 3.5-inch floppy)",
                                 ZRK_VT_SIZE, ZRK_OPT_MANDATORY));
    ZRK_TRY(parser.DeclareOption("-out|out", "DIST", "Directory the disks disk1, disk2, ... are written to",
                                 ZRK_VT_TEXT, ZRK_OPT_MANDATORY));
    ZRK_TRY(parser.DeclareOption("-programs|programs", "DIR",
                                 "Directory with setup.exe, setup.res, quietinst.exe and quietinst.res for disk 1",
                                 ZRK_VT_TEXT));
    ZRK_TRY(parser.DeclareOption("-external|external",
                                 "Build an external package's description E.inf onto disks E1, E2, ... (markers E1.dsk, ...)"));
    ZRK_TRY(parser.Parse());
    CBuild build;
    return build.Run(parser);
}
