// Renames of a set's files (see renames.h).

#include "src/winspec/renames.h"

#include "src/infstruc/conditions.h"
#include "src/infstruc/records.h"
#include "src/infstruc/variables.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

int DeleteFile(const CString& path) {
    if (CFile::RemoveFile(path) != 0)
        return ZrkErrorId(ZRK_FAIL, MSG_DELETE_FAILED, path.c_str(), zrkos::LastSystemError());
    return 0;
}

// Moves OLD to TARGET; NEWPATH as the record gave it, absolute.
int MoveOne(const CString& old, const CString& newPath, CStringList* created) {
    const CString target = newPath.EndsWith("\\") ? newPath + CFile::FilePart(old) : newPath;
    if (target.CompareNoCase(old) == 0) {
        // The same file under another spelling: deleting the "existing"
        // target would delete the only copy.
        // A rename to the same name in another case is not taken by every
        // file system: the file goes through a temporary name beside it.
        if (target.Compare(old) == 0) return 0;
        const CString temporary = CFile::TempName(CFile::DirPart(old), "zrk");
        ZRK_TRY(CFile::Rename(old, temporary));
        ZRK_TRY(CFile::Rename(temporary, target));
    } else {
        if (CFile::Exists(target)) {
            if (!CFile::Writable(target)) return 0;
            ZRK_TRY(DeleteFile(target));
        }
        ZRK_TRY(CFile::Copy(old, target));
        ZRK_TRY(DeleteFile(old));
    }
    if (!newPath.EndsWith("\\")) created->Add(newPath);
    return 0;
}

}  // namespace

int ApplyRenames(const CSetRecord& set, CStringList* created) {
    const CInfList<CRenameRecord>& records = set.Renames();
    for (int i = 0; i < records.Count(); ++i) {
        const CRenameRecord& record = records[i];
        int holds = 0;
        ZRK_TRY(EvaluateTest(record, &set, &holds));
        if (!holds) continue;
        CString old = record.OldPath(), newPath = record.NewPath();
        ZRK_TRY(ExpandVariables(&set, old, false));
        ZRK_TRY(ExpandVariables(&set, newPath, false));
        // An existing directory comes back with a final "\".
        old = zrkos::FullPath(old);
        newPath = zrkos::FullPath(newPath);
        if (!CFile::IsFile(old)) continue;
        ZRK_TRY(MoveOne(old, newPath, created));
    }
    return 0;
}
