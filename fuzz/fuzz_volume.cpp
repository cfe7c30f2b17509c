// Arbitrary bytes as an archive volume, extracted into a scratch directory.
// The extraction must end with a status (never a crash, a hang or an
// overrun), must write nothing outside the scratch directory (its parent's
// listing is the same before and after), a failed extraction must leave no
// member that is not complete, and must say so in exactly one error report
// (a success in none). The scratch directory is removed after every input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "zrk/archive.h"
#include "zrk/cfile.h"
#include "zrk/report.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// Full paths of everything in DIR, one level.
std::set<std::string> Listing(const char* dir) {
    std::set<std::string> names;
    CFileList list(dir, "*", CFileList::FILES | CFileList::DIRECTORIES);
    for (int i = 0; i < list.Count(); ++i) names.insert(list[i].c_str());
    return names;
}

void RemoveTree(const CString& dir) {
    CFileList list(dir, "*", CFileList::FILES | CFileList::DIRECTORIES);
    for (int i = 0; i < list.Count(); ++i) {
        const CString& item = list[i];
        if (item.EndsWith("\\"))
            RemoveTree(item);
        else
            CFile::RemoveFile(item);
    }
    CFile::RemoveDir(dir);
}

// Records the members that were opened and how their last piece ended.
class CCheckingArchive : public CArchive {
public:
    int OpenMemberOutput(const CArchiveEntry& e, const char* destDir) override {
        // The name was checked before this is called; it must stay below
        // the destination.
        Check(IsValidMemberName(e.name));
        return CArchive::OpenMemberOutput(e, destDir);
    }
    int CloseMemberOutput(const CArchiveEntry& e, int result) override {
        const int r = CArchive::CloseMemberOutput(e, result);
        // A failed piece leaves no file behind.
        if (result != 0) Check(!CFile::Exists(MemberPath()));
        return r;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CRecordingScope reports;
    // A private scratch directory under the system's temporary directory;
    // the destination lies a few levels below it, so that a member that
    // climbed out of it would show up in one of the levels above.
    static const CString scratch = CFile::TempName(nullptr, "zfv") + "\\";
    static const CString levels[] = {scratch, scratch + "a\\", scratch + "a\\b\\", scratch + "a\\b\\c\\"};
    static const CString dest = levels[3] + "dest\\";
    static const CString volume = scratch + "input.ar";

    Check(CFile::MakeAllDirs(dest) == 0);
    {
        CFile file;
        Check(file.Open(volume, "w") == 0);
        Check(file.Write(data, static_cast<long>(size)) == 0);
        Check(file.Close() == 0);
    }

    CCheckingArchive archive;
    int end = -1;
    const int r = archive.ExtractVolume(dest, volume, &end);
    Check(r != 0 || end == 0 || end == 1);
    Check(reports.Count() == (r != 0 ? 1 : 0));

    // Each level above the destination holds what it held before.
    Check(Listing(levels[0]) == std::set<std::string>{levels[1].c_str(), volume.c_str()});
    for (int i = 1; i < 3; ++i) Check(Listing(levels[i]) == std::set<std::string>{levels[i + 1].c_str()});
    Check(Listing(levels[3]) == std::set<std::string>{dest.c_str()});
    RemoveTree(scratch);
    return 0;
}
