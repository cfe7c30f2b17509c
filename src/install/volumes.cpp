// Disks and volumes: the packages of the selection are extracted in order,
// each from its volumes "ARCHIVENAME.NNN" on the disks its DISK entries
// name, with the disk asked for when its marker is missing. An external
// package is a product of its own, with its own disks, markers and
// description beside the main disks.
#include <algorithm>

#include "src/infstruc/variables.h"
#include "src/install/session.h"
#include "zrk/cfile.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int InstallSession::CheckPackageDisks(const CInfDescription& desc) const {
    // Without DISK entries a package's files would be looked for nowhere,
    // and the installation would end without them and without a word.
    for (int i = 0; i < desc.packages.Count(); ++i) {
        const CPackage& package = desc.packages[i];
        if (package.External().IsEmpty() && package.Files().Count() > 0 && package.Disks().empty())
            return ZrkErrorId(ZRK_DESCERR, MSG_PACKAGE_WITHOUT_DISK, package.Name().c_str());
    }
    return 0;
}

int InstallSession::VolumeProgress(int64_t, int64_t, int) { return 0; }

int InstallSession::EnsureDisk(int disk, const char* marker) {
    const CString name = marker && *marker ? CString(marker) : m_diskPrefix + CString::Printf("%d.dsk", disk);
    if (CFile::Exists(CFile::Join(m_sourcePath, name))) return 0;
    // The disks side by side: D:\SETUP\DISK1\ is followed by D:\SETUP\DISK2\;
    // a drive root stays the same drive.
    CString path = m_sourcePath;
    if (path.EndsWith("\\")) path.Assign(path.c_str(), path.Length() - 1);
    if (!path.IsEmpty() && !path.EndsWith(":")) {
        int end = path.Length();
        while (end > 0 && IsDigit(path[end - 1])) --end;
        path.Assign(path.c_str(), end);
        path += CString::Printf("%d", disk);
    }
    m_sourcePath = path;
    for (;;) {
        if (!m_sourcePath.EndsWith("\\")) m_sourcePath += "\\";
        if (CFile::Exists(m_sourcePath + name)) return 0;
        ZRK_TRY(AskDisk(&m_sourcePath, disk, name));
    }
}

int InstallSession::ExtractPackageList(const std::vector<int>& packages) {
    m_lastDisk = 0;
    m_volumeSum = 0;
    m_lastMember.Empty();
    m_partialMember.Empty();
    int result = 0;
    for (int index : packages) {
        if (!m_desc.packages[index].External().IsEmpty()) {
            // The external package's own package takes its place here only.
            result = EnterExternal(m_desc.packages[index], &index);
        } else if (m_external) {
            m_external = false;
            m_diskPrefix = "disk";
            m_sourcePath = m_keptSourcePath;
            m_keptSourcePath.Empty();
            m_diskLabel = m_desc.HeaderValue("DISKLABEL");
            m_lastDisk = 0;
        }
        if (result == 0) result = ExtractVolumes(m_desc.packages[index]);
        if (result != 0) break;
    }
    // Whatever stopped the extraction, no member stays written in part.
    DropPartialMember();
    return result;
}

int InstallSession::EnterExternal(const CPackage& package, int* index) {
    const CString name = package.External();
    if (!m_external) m_keptSourcePath = m_sourcePath;
    m_external = true;
    m_diskPrefix = name;
    m_lastDisk = 0;
    // Its disks E1, E2, ... lie beside the main disks.
    m_sourcePath = CFile::DirPart(CFile::DirNoSlash(m_keptSourcePath)) + name + "1\\";
    if (m_network != NETWORK_CLIENT) {
        ZRK_TRY(EnsureDisk(1, ""));
        m_lastDisk = 1;
    }
    // Of its description only the packages, the sets (which add to the
    // product) and the disk label count: its version, key and texts are
    // the main product's business.
    const CString path = CFile::Join(m_sourcePath, name + ".inf");
    CInfDescription external;
    ZRK_TRY(InfLoadDescription(path, external, {}, &m_product));
    if (external.packages.Count() != 1)
        return ZrkErrorId(ZRK_DESCERR, MSG_EXTERNAL_PACKAGE_COUNT, path.c_str(), external.packages.Count());
    ZRK_TRY(CheckPackageDisks(external));
    m_diskLabel = external.HeaderValue("DISKLABEL");
    ZRK_TRY(m_desc.packages.Add(std::make_unique<CPackage>(external.packages[0])));
    *index = m_desc.packages.Count() - 1;
    if (m_network == NETWORK_CLIENT) return 0;
    const CString copy = m_appPath + name + ".inf";
    if (CFile::Exists(copy)) CFile::SetReadOnly(copy, false);
    ZRK_TRY(CFile::Copy(path, copy));
    if (m_fileList.Find(copy) < 0) m_fileList.Add(copy);
    return 0;
}

int InstallSession::ExtractVolumes(const CPackage& package) {
    if (package.Files().Count() == 0 || m_network == NETWORK_CLIENT) return 0;
    CString dest = package.DestDir();
    ZRK_TRY(ExpandVariables(&m_product, dest, false));
    if (!CFile::IsAbsolute(dest)) dest = m_appPath + dest;
    if (!dest.EndsWith("\\")) dest += "\\";
    // Each disk once, from the lowest to the highest.
    std::vector<int> disks = package.Disks();
    std::sort(disks.begin(), disks.end());
    disks.erase(std::unique(disks.begin(), disks.end()), disks.end());
    CString volume;
    for (int disk : disks) {
        if (disk != m_lastDisk) ZRK_TRY(EnsureDisk(disk, ""));
        m_lastDisk = disk;
        const CString file = CString::Printf("%s.%03d", package.ArchiveName().c_str(), disk);
        volume = CFile::Join(m_sourcePath, file);
        while (!CFile::Exists(volume)) {
            ZRK_TRY(EnsureDisk(disk, file));
            volume = CFile::Join(m_sourcePath, file);
        }
        const int64_t size = CFile::FileSize64(volume);
        const int64_t before = m_volumeSum;
        ZRK_TRY(ExtractVolume(dest, volume, nullptr,
                              [this, before, size](int percent) { return VolumeProgress(before, size, percent); }));
        m_volumeSum += size;
    }
    // The package's last volume left a member waiting for a volume it
    // does not list.
    if (!m_partialMember.IsEmpty()) {
        DropPartialMember();
        return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_DAMAGED, volume.c_str());
    }
    return 0;
}
