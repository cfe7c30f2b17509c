// Environment variables of a product (see environment.h).

#include "src/winspec/environment.h"

#include <windows.h>

#include <vector>

#include "src/infstruc/conditions.h"
#include "src/infstruc/records.h"
#include "src/infstruc/variables.h"
#include "src/winspec/regkey.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

const char kSystemKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kUserKey[] = "HKEY_CURRENT_USER\\Environment";

// How long one window may take to answer the settings-change broadcast.
constexpr UINT kBroadcastTimeoutMs = 5000;

bool UsesAutoexec() { return ZrkPlatformKind() != ZRK_WINNT; }

std::string Std(const CString& s) { return std::string(s.c_str(), static_cast<size_t>(s.Length())); }

std::string TrimmedStd(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Tells the running programs that the environment changed. The send gives
// each window a bounded time and skips hung ones, so that one program that
// does not answer cannot stop an unattended installation.
void BroadcastEnvironmentChange() {
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                        SMTO_ABORTIFHUNG | SMTO_NORMAL, kBroadcastTimeoutMs, &answer);
}

// ---- c:\autoexec.bat --------------------------------------------------------------

// Closes FILE; the framework's close leaves the report to its caller.
int CloseFile(CFile& file) {
    const CString path = file.Path();
    if (file.Close() == 0) return 0;
    const int e = zrkos::LastErrno();
    return ZrkErrorId(ZRK_FAIL, MSG_CLOSE_FAILED, path.c_str(), e, zrkos::ErrnoText(e).c_str());
}

// The lines of the file without their line ends; *EXISTED tells whether
// there was a file (a missing one has no lines).
int ReadAutoexec(std::vector<std::string>* lines, std::string* raw, bool* existed) {
    lines->clear();
    raw->clear();
    *existed = CFile::Exists(kAutoexecPath);
    if (!*existed) return 0;
    CFile file;
    ZRK_TRY(file.Open(kAutoexecPath, "r"));
    char buf[4096];
    for (long got = 0;;) {
        ZRK_TRY(file.Read(buf, sizeof buf, &got));
        if (got == 0) break;
        raw->append(buf, static_cast<size_t>(got));
    }
    ZRK_TRY(CloseFile(file));
    size_t start = 0;
    while (start < raw->size()) {
        size_t end = raw->find('\n', start);
        if (end == std::string::npos) end = raw->size();
        std::string line = raw->substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines->push_back(line);
        start = end + 1;
    }
    return 0;
}

// Writes CONTENT to a new temporary file in the directory of the autoexec
// file and forces it to the disk. *TEMP receives its name; a failure
// deletes it again.
int WriteTemporary(const std::string& content, CString* temp) {
    *temp = CFile::TempName(CFile::DirPart(kAutoexecPath), "aex");
    CFile file;
    int r = file.Open(*temp, "w");
    if (r == 0) r = file.Write(content.data(), static_cast<long>(content.size()));
    if (r == 0 && !FlushFileBuffers(reinterpret_cast<HANDLE>(file.GetHandle()))) {
        const int e = zrkos::LastErrno();
        r = ZrkErrorId(ZRK_FAIL, MSG_TEXT_WRITE_FAILED, temp->c_str(), e, zrkos::ErrnoText(e).c_str());
    }
    if (file.IsOpen()) {
        if (r == 0)
            r = CloseFile(file);
        else
            file.Close();
    }
    if (r != 0) CFile::RemoveFile(*temp);
    return r;
}

// Puts LINES in place of the autoexec file, which keeps its old content
// under another name until the new file is in place.
int ReplaceAutoexec(const std::vector<std::string>& lines, const std::string& raw, bool existed,
                    CAutoexecRun& run) {
    std::string content;
    for (const std::string& line : lines) content += line + "\r\n";
    if (existed && content == raw) return 0;
    CString temp;
    ZRK_TRY(WriteTemporary(content, &temp));
    // Where the old content waits: the run's backup when this rewrite makes
    // it, else a temporary name deleted once the new file is in place.
    CString old;
    const bool makesBackup = existed && run.backupName.IsEmpty();
    int r = 0;
    if (makesBackup) {
        r = BackupAutoexec(run);
        old = run.backupName;
    } else if (existed) {
        old = CFile::TempName(CFile::DirPart(kAutoexecPath), "aex");
        r = CFile::Rename(kAutoexecPath, old);
    }
    if (r == 0) r = CFile::Rename(temp, kAutoexecPath);
    if (r == 0) {
        run.changed = true;
        if (existed && !makesBackup) CFile::RemoveFile(old);
        return 0;
    }
    CFile::RemoveFile(temp);
    if (!old.IsEmpty() && !CFile::Exists(kAutoexecPath) && zrkos::RenameFile(old, kAutoexecPath) == 0 &&
        makesBackup)
        run.backupName.Empty();
    return r;
}

// The program a command line starts: its first word, without directory,
// drive or extension ("C:\WINDOWS\WIN.COM /b" starts "WIN").
std::string ProgramOf(const std::string& line) {
    std::string word = TrimmedStd(line);
    word = word.substr(0, word.find_first_of(" /"));
    const size_t dir = word.find_last_of("\\:");
    if (dir != std::string::npos) word = word.substr(dir + 1);
    return word.substr(0, word.find_first_of("-."));
}

bool IsCommandLine(const std::string& line) {
    const std::string text = TrimmedStd(line);
    return !text.empty() && CString(text.substr(0, 3).c_str()).CompareNoCase("rem") != 0;
}

// ---- registry scopes ------------------------------------------------------------

// The scope's key, opened into KEY; *OPEN is false when it does not exist
// (nothing is written then).
int OpenScope(CRegistryKey& key, bool system, bool* open) {
    const char* path = system ? kSystemKey : kUserKey;
    *open = CRegistryKey().Exists(path);
    return *open ? key.Open(path) : 0;
}

// One entry "name, value, removal text, test path" with its condition.
struct EnvEntry {
    CString name, value, removal, testPath, condition;
};

EnvEntry SplitEntry(const CString& text) {
    EnvEntry entry;
    CString rest;
    InfSplitEntryCondition(text, &rest, &entry.condition);
    CString* parts[] = {&entry.name, &entry.value, &entry.removal};
    for (CString* part : parts) {
        const int comma = rest.Find(',');
        if (comma < 0) {
            *part = rest;
            rest.Empty();
            break;
        }
        *part = CString(rest.c_str(), comma);
        rest = CString(rest.c_str() + comma + 1);
    }
    entry.testPath = rest;
    for (CString* part : {&entry.name, &entry.value, &entry.removal, &entry.testPath}) part->Trim();
    return entry;
}

int ApplyEntry(CSetRecord& set, const CString& text, bool install, bool system, CAutoexecRun& run) {
    EnvEntry entry = SplitEntry(text);
    int apply = 0;
    ZRK_TRY(InfCheckEntry(&set, entry.testPath, entry.condition, &apply));
    if (!apply || (!install && entry.removal.IsEmpty())) return 0;
    ZRK_TRY(ExpandVariables(&set, entry.value, true));
    if (install) return SetEnvironment(entry.name, entry.value, run, system);
    ZRK_TRY(ExpandVariables(&set, entry.removal, true));
    return RemoveEnvironment(entry.name, entry.value, entry.removal, run, system);
}

}  // namespace

int RemoveListItem(std::string& text, const std::string& item, char sep, bool lastOnly) {
    if (item.empty()) return 0;
    const bool openStart = item.front() == sep, openEnd = item.back() == sep;
    int removed = 0;
    size_t from = lastOnly ? std::string::npos : 0;
    for (;;) {
        const size_t at = lastOnly ? text.rfind(item, from) : text.find(item, from);
        if (at == std::string::npos) break;
        const size_t end = at + item.size();
        const bool before = openStart || at == 0 || text[at - 1] == sep;
        const bool after = openEnd || end == text.size() || text[end] == sep;
        if (before && after) {
            // An item between two separators takes the one after it along.
            const bool middle = !openStart && !openEnd && at > 0 && end < text.size();
            text.erase(at, item.size() + (middle ? 1 : 0));
            ++removed;
            if (lastOnly) break;
            from = at;
        } else if (lastOnly) {
            if (at == 0) break;
            from = at - 1;
        } else {
            from = at + 1;
        }
    }
    return removed;
}

int ExpandPercentVariables(CString& text, bool system) {
    const std::string in = Std(text);
    std::string out;
    size_t pos = 0;
    for (;;) {
        const size_t open = in.find('%', pos);
        if (open == std::string::npos) break;
        const size_t close = in.find('%', open + 1);
        if (close == std::string::npos) return ZrkErrorId(ZRK_BADARG, MSG_ENV_UNCLOSED_REFERENCE, text.c_str());
        out += in.substr(pos, open - pos);
        CString value;
        ZRK_TRY(GetEnvironmentValue(TrimmedStd(in.substr(open + 1, close - open - 1)).c_str(), &value, system,
                                    false));
        out += Std(value);
        pos = close + 1;
    }
    out += in.substr(pos);
    // Clean the list: no empty items, no repeats.
    std::vector<std::string> items;
    std::string joined;
    size_t start = 0;
    while (start <= out.size()) {
        size_t end = out.find(';', start);
        if (end == std::string::npos) end = out.size();
        const std::string item = out.substr(start, end - start);
        bool seen = item.empty();
        for (const std::string& earlier : items) seen = seen || earlier == item;
        if (!seen) {
            if (!items.empty()) joined += ';';
            joined += item;
            items.push_back(item);
        }
        start = end + 1;
    }
    text = joined.c_str();
    return 0;
}

int SetEnvironment(const char* name, const char* value, CAutoexecRun& run, bool system) {
    system = system || UsesAutoexec();
    CString expanded = value;
    ZRK_TRY(ExpandPercentVariables(expanded, system));
    CRegistryKey key;
    bool open = false;
    ZRK_TRY(OpenScope(key, system, &open));
    if (open) {
        ZRK_TRY(key.WriteString(name, expanded, ZRK_REGSTR_EXPAND));
        ZRK_TRY(key.Close());
    }
    if (!UsesAutoexec()) {
        BroadcastEnvironmentChange();
        return 0;
    }
    const CString line = CString::Printf("SET %s=%s", name, value);
    ZRK_TRY(RemoveAutoexecLine(line, run));
    return InsertAutoexecLine(line, run);
}

int RemoveEnvironment(const char* name, const char* value, const char* removal, CAutoexecRun& run,
                      bool system) {
    system = system || UsesAutoexec();
    CRegistryKey key;
    bool open = false;
    ZRK_TRY(OpenScope(key, system, &open));
    if (open) {
        CString current;
        ZRK_TRY(key.ReadString(name, current));
        std::string text = Std(current);
        if (RemoveListItem(text, removal, ';', false) > 0)
            ZRK_TRY(text.empty() ? key.DeleteValue(name) : key.WriteString(name, text.c_str(), ZRK_REGSTR_EXPAND));
        ZRK_TRY(key.Close());
    }
    if (!UsesAutoexec()) {
        BroadcastEnvironmentChange();
        return 0;
    }
    return RemoveAutoexecLine(CString::Printf("SET %s=%s", name, value), run);
}

int ApplyEnvironment(CSetRecord& set, bool install, CAutoexecRun& run) {
    for (int pass = 0; pass < 2; ++pass) {
        const bool system = pass == 0;
        const CStringList& entries = system ? set.SystemEnv() : set.UserEnv();
        for (int i = 0; i < entries.Count(); ++i) ZRK_TRY(ApplyEntry(set, entries[i], install, system, run));
    }
    if (run.changed && set.Reboot().IsEmpty()) set.SetReboot(ZrkMessageText(MSG_REBOOT_NEEDED.id));
    return 0;
}

int RemoveAutoexecLine(const char* line, CAutoexecRun& run) {
    std::vector<std::string> lines, kept;
    std::string raw;
    bool existed = false;
    ZRK_TRY(ReadAutoexec(&lines, &raw, &existed));
    if (!existed) return 0;
    const CString target = TrimmedStd(line).c_str();
    for (const std::string& l : lines) {
        const std::string text = TrimmedStd(l);
        if (target.CompareNoCase(text.c_str()) != 0) kept.push_back(text);
    }
    return ReplaceAutoexec(kept, raw, existed, run);
}

int InsertAutoexecLine(const char* line, CAutoexecRun& run) {
    std::vector<std::string> lines;
    std::string raw;
    bool existed = false;
    ZRK_TRY(ReadAutoexec(&lines, &raw, &existed));
    size_t at = lines.size();
    for (size_t i = lines.size(); i-- > 0;) {
        if (!IsCommandLine(lines[i])) continue;
        at = CString(ProgramOf(lines[i]).c_str()).CompareNoCase("win") == 0 ? i : i + 1;
        break;
    }
    lines.insert(lines.begin() + static_cast<long>(at), line);
    return ReplaceAutoexec(lines, raw, existed, run);
}

int BackupAutoexec(CAutoexecRun& run) {
    if (!run.backupName.IsEmpty() || !CFile::Exists(kAutoexecPath)) return 0;
    const CString base = CFile::DirPart(kAutoexecPath) + CFile::BaseName(kAutoexecPath) + ".";
    for (int n = 0; n <= 999; ++n) {
        const CString name = CString::Printf("%s%03d", base.c_str(), n);
        if (CFile::Exists(name)) continue;
        ZRK_TRY(CFile::Rename(kAutoexecPath, name));
        run.backupName = name;
        return 0;
    }
    return ZrkErrorId(ZRK_FAIL, MSG_AUTOEXEC_NO_BACKUP_NAME, kAutoexecPath);
}
