#include "testutil.h"

#include <atomic>
#include <random>

#include "zrk/os/os.h"

std::string Str(const CString& s) { return std::string(s.c_str(), static_cast<size_t>(s.Length())); }

CString TempRoot() {
    CString dir;
    if (zrkos::GetEnv("TMP", &dir) && !dir.IsEmpty() && zrkos::Exists(dir)) return zrkos::FullPath(dir);
    if (zrkos::GetEnv("TEMP", &dir) && !dir.IsEmpty() && zrkos::Exists(dir)) return zrkos::FullPath(dir);
    return zrkos::FullPath(zrkos::IsWindows() ? "C:\\windows\\temp" : "/tmp");
}

ScratchDir::ScratchDir() {
    static std::atomic<int> counter{0};
    std::random_device rd;
    CString root = TempRoot();
    if (!root.EndsWith("\\")) root.Append('\\');
    for (int attempt = 0; attempt < 100; ++attempt) {
        CString dir = root;
        dir.Append(CString::Printf("zrkt%08x_%d", static_cast<unsigned>(rd()), ++counter));
        if (zrkos::MakeDir(dir) == 0) {
            m_dir = dir + "\\";
            return;
        }
    }
}

ScratchDir::~ScratchDir() {
    if (!m_dir.IsEmpty()) RemoveTree(m_dir);
}

void RemoveTree(const char* dir) {
    CString base(dir);
    if (!base.EndsWith("\\")) base.Append('\\');
    zrkos::FindData fd;
    zrkos::FindHandle h = zrkos::FindFirst(base + "*", &fd);
    if (h) {
        do {
            if (fd.name == "." || fd.name == "..") continue;
            CString path = base + fd.name;
            if (fd.isDir)
                RemoveTree(path);
            else
                zrkos::Remove(path);
        } while (zrkos::FindNext(h, &fd));
        zrkos::FindClose(h);
    }
    zrkos::RemoveDir(base);
}

std::string ReadAll(const char* path, bool* found) {
    int result = 0;
    zrkos::Handle h = zrkos::Open(path, zrkos::OPEN_READ, &result);
    if (found) *found = h != zrkos::kBadHandle;
    if (h == zrkos::kBadHandle) return std::string();
    std::string data;
    char buf[4096];
    long n;
    while ((n = zrkos::Read(h, buf, sizeof buf)) > 0) data.append(buf, static_cast<size_t>(n));
    zrkos::Close(h);
    return data;
}

bool WriteAll(const char* path, const std::string& data) {
    int result = 0;
    zrkos::Handle h = zrkos::Open(path, zrkos::OPEN_WRITE | zrkos::OPEN_CREATE | zrkos::OPEN_TRUNCATE, &result);
    if (h == zrkos::kBadHandle) return false;
    bool ok = data.empty() || zrkos::Write(h, data.data(), static_cast<long>(data.size())) == static_cast<long>(data.size());
    zrkos::Close(h);
    return ok;
}
