// The default answers of the session's questions: the answer file's keys
// (section "Install"), or the fixed answers of an unattended run.
#include "src/install/session.h"

#include "zrk/app.h"
#include "zrk/cfile.h"
#include "zrk/report.h"
#include "zrk/result.h"

int InstallSession::ShowTitle(const char*, const char*, const char*) { return 0; }

int InstallSession::AskTcpPort(CSetRecord& product) {
    const long port = AnswerInt("TCPPort", product.TcpPort());
    product.SetTcpPort(static_cast<uint16_t>(port));
    return 0;
}

int InstallSession::AskDestination(const char*, const char*, const char*, const char*, const char*, CString* dest,
                                   CString* group, uint32_t neededKiB) {
    const CString path = AnswerText("Path");
    if (!path.IsEmpty()) *dest = path;
    const CString answer = AnswerText("Group");
    if (answer.CompareNoCase("(No Group)") == 0)
        group->Empty();
    else if (!answer.IsEmpty())
        *group = answer;
    if (CProfile* settings = ZrkSettings()) {
        CProfile progman(settings->File(), "progman");
        progman.WriteInt("UserGroup", AnswerInt("UserGroup", 0));
    }
    return CheckDiskSpace(*dest, neededKiB);
}

int InstallSession::CheckDiskSpace(const CString& dest, uint64_t neededKiB) const {
    if (dest.StartsWith("\\\\")) return 0;
    const bool drive = dest.Length() >= 2 && dest[1] == ':';
    const CString root = drive && dest.Length() >= 3 ? CString(dest.c_str(), 3) : dest;
    const double free = CFile::FreeSpace(root);
    // A volume whose free space cannot be read is not refused here; its
    // writes will tell.
    if (free < 0) return 0;
    const uint64_t freeKiB = static_cast<uint64_t>(free / 1024);
    if (freeKiB >= neededKiB + kSizeMarginKiB) return 0;
    const CString driveText = drive ? CString(dest.c_str(), 2) : CString();
    ZrkErrorId(ZRK_INTERNAL, MSG_NO_DISK_SPACE, driveText.c_str());
    return ZRK_INTERNAL;
}

int InstallSession::AskDisk(CString*, int disk, const char*) { return ZrkErrorId(ZRK_DESCERR, MSG_DISK_MISSING, disk); }

int InstallSession::AskOverwriteReadOnly(const char*, int* skip, int* overwrite) {
    *skip = 1;
    if (overwrite) *overwrite = AnswerYes("OverwriteReadOnlyFile") ? 1 : 0;
    return 0;
}

int InstallSession::ShowNotice(const char* message) {
    ZrkReport(ZRK_KIND_INFO, 0, "", "%s", message);
    return 0;
}

int InstallSession::AskYesNo(const char*) { return 0; }
int InstallSession::AskRunProgram(int ask, const char*) { return ask == 0 ? 1 : 0; }
int InstallSession::ShowWelcome(const char*) { return 0; }
int InstallSession::ShowUninstallWelcome() { return 0; }
int InstallSession::AskUninstallConfirm() { return 0; }

int InstallSession::AskUserInfo(CString* userName, CString* company) {
    const CString name = AnswerText("UserName");
    if (name.IsEmpty()) return ZrkErrorId(ZRK_DESCERR, MSG_NO_USER_NAME);
    *userName = name;
    const CString firm = AnswerText("Company");
    if (!firm.IsEmpty()) *company = firm;
    return 0;
}

int InstallSession::AskNetworkMode(NetworkMode* mode, const char*) {
    *mode = NETWORK_CLIENT;
    return 0;
}

int InstallSession::AskServerPath(CString* serverPath, const char*) {
    CString path = AnswerText("ServerPath");
    path = path.IsEmpty() ? m_sourcePath : ResolvePath(path);
    if (!path.EndsWith("\\")) path += "\\";
    const CString marker = path + "setup.rem";
    CProfile rem(marker, "Network");
    if (!CFile::IsFile(marker) || rem.GetText("Type").CompareNoCase("Server") != 0)
        return ZrkErrorId(ZRK_FAIL, MSG_NOT_A_SERVER, path.c_str());
    *serverPath = path;
    return 0;
}

int InstallSession::AskSetupType(const char*, int* type, uint32_t, uint32_t) {
    CString answer = AnswerText("Type");
    answer.Trim();
    if (answer.IsEmpty() || answer.CompareNoCase("maximal") == 0)
        *type = SETUP_MAXIMAL;
    else if (answer.CompareNoCase("minimal") == 0)
        *type = SETUP_MINIMAL;
    else if (answer.CompareNoCase("custom") == 0)
        *type = SETUP_CUSTOM;
    else
        return ZrkErrorId(ZRK_DESCERR, MSG_BAD_SETUP_TYPE, answer.c_str());
    return 0;
}

int InstallSession::AskProduct(const CInfList<CSetRecord>&, int* index) {
    int first = 0;
    while (first < static_cast<int>(m_applicable.size()) && !m_applicable[static_cast<size_t>(first)]) ++first;
    *index = static_cast<int>(AnswerInt("Product", first));
    return 0;
}

int InstallSession::AskReplaceDll(const char*, const char*, const char*, const char*, const char*, const char*,
                                  int* answer) {
    *answer = AnswerYes("ReplaceDll") ? 1 : 0;
    return 0;
}

int InstallSession::AskPackages(CStringList* selection) {
    CStringList names;
    names.AddSplit(AnswerText("Packages"), ',', true);
    CStringList chosen;
    for (int i = 0; i < names.Count(); ++i) {
        if (names[i].IsEmpty()) continue;
        if (m_desc.FindPackage(names[i]) < 0) return ZrkErrorId(ZRK_DESCERR, MSG_UNKNOWN_PACKAGE, names[i].c_str());
        chosen.Add(names[i]);
    }
    *selection = chosen;
    return 0;
}

int InstallSession::AskReboot(const char*) { return AnswerYes("Reboot") ? 1 : 0; }

int InstallSession::AskExistingInstall(int* choice, const char*, const char*, const char*) {
    *choice = m_removeInstalled ? 1 : 2;
    return 0;
}

int InstallSession::AskUpgrade(const char*, const char*, const char*, int* upgrade) {
    *upgrade = m_acceptUpgrade ? 1 : 0;
    return 0;
}

int InstallSession::ShowOtherVersions(const char*, const CStringList&, const CStringList&, const CStringList&) {
    return 0;
}
int InstallSession::AskDeleteSystemFile(const char*) { return AnswerYes("DeleteSystemFile") ? 1 : 0; }
int InstallSession::AskDeleteReadOnlyFile(const char*) { return AnswerYes("DeleteReadOnlyFile") ? 1 : 0; }
void InstallSession::EnableProgressStep(int, bool) {}
int InstallSession::AskOtherDirectory(CString*) { return ZRK_CANCEL; }
// Removing the old version runs the uninstallation of its record, which
// this build does not have.
int InstallSession::RemoveOldVersion() { return UninstallTask(HOOK_CHECK); }
