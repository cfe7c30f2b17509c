#include "build_files.h"

#include <algorithm>
#include <cstring>

#include "zrk/archive.h"
#include "zrk/cfile.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

int CollectBelow(const CString& dir, const CString& prefix, std::vector<SetupkitTreeFile>* files) {
    CFileList list(dir, "*", CFileList::FILES | CFileList::DIRECTORIES);
    for (int i = 0; i < list.Count(); ++i) {
        const CString& item = list[i];
        const bool isDir = item.EndsWith("\\");
        const CString name = prefix + CFile::FilePart(isDir ? CString(item.c_str(), item.Length() - 1) : item);
        if (name.Length() > CArchive::kMaxNameLength) return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_BAD_NAME, name.c_str());
        if (isDir)
            ZRK_TRY(CollectBelow(item, name + "\\", files));
        else
            files->push_back({name, item});
    }
    return 0;
}

}  // namespace

int SetupkitCollectFiles(const CString& dir, std::vector<SetupkitTreeFile>* files) {
    ZRK_TRY(CollectBelow(dir, CString(), files));
    std::sort(files->begin(), files->end(), [](const SetupkitTreeFile& a, const SetupkitTreeFile& b) {
        return std::strcmp(a.name, b.name) < 0;
    });
    return 0;
}
