// The installation session: loading, preparation, the install task.
#include "src/install/session.h"

#include "zrk/report.h"
#include "zrk/result.h"

InstallSession::InstallSession() = default;
InstallSession::~InstallSession() = default;

void InstallSession::SetAnswerProfile(const char* path) {
    m_answers.SetFilePath(path);
    m_answers.SetSection("Install");
}
const CString& InstallSession::AnswerPath() const { return m_answers.File(); }
void InstallSession::SetNetworkSwitches(bool ask, bool client, bool server) {
    m_askNetwork = ask;
    m_clientSwitch = client;
    m_serverSwitch = server;
}
void InstallSession::SetRemoveInstalledCopy(bool on) { m_removeInstalled = on; }
void InstallSession::SetUninstallDirection(bool uninstall) { m_uninstall = uninstall; }
bool InstallSession::UninstallDirection() const { return m_uninstall; }

CString InstallSession::ProductName() const {
    if (m_hasProduct) return m_product.AppName();
    return m_desc.sets.Count() > 0 ? m_desc.sets[0].AppName() : CString();
}
CString InstallSession::ProductShortName() const {
    if (m_hasProduct) return m_product.ShortName();
    return m_desc.sets.Count() > 0 ? m_desc.sets[0].ShortName() : CString();
}

int InstallSession::LoadDescription(const char*) { return ZRK_INTERNAL_ERROR(); }
int InstallSession::PrepareInstallation(CString* recordPath) {
    if (recordPath) recordPath->Empty();
    return ZRK_INTERNAL_ERROR();
}
int InstallSession::RunEngineTask() { return ZRK_INTERNAL_ERROR(); }
int InstallSession::StartPrograms() { return ZRK_INTERNAL_ERROR(); }
int InstallSession::RebootQuestion(bool* restart) {
    *restart = false;
    return ZRK_INTERNAL_ERROR();
}
int InstallSession::LoadRecord(const char*) { return ZRK_INTERNAL_ERROR(); }
int InstallSession::PrepareUninstallation() { return ZRK_INTERNAL_ERROR(); }

int InstallSession::ShowTitle(const char*, const char*, const char*) { return 0; }
int InstallSession::AskTcpPort(CSetRecord&) { return 0; }
int InstallSession::AskDestination(const char*, const char*, const char*, const char*, const char*, CString*,
                                   CString*, uint32_t) {
    return 0;
}
int InstallSession::AskDisk(CString*, int, const char*) { return ZRK_DESCERR; }
int InstallSession::AskOverwriteReadOnly(const char*, int* skip, int*) {
    *skip = 1;
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
int InstallSession::AskUserInfo(CString*, CString*) { return ZRK_DESCERR; }
int InstallSession::AskNetworkMode(NetworkMode* mode, const char*) {
    *mode = NETWORK_CLIENT;
    return 0;
}
int InstallSession::AskServerPath(CString*, const char*) { return 0; }
int InstallSession::AskSetupType(const char*, int* type, uint32_t, uint32_t) {
    *type = SETUP_MAXIMAL;
    return 0;
}
int InstallSession::AskProduct(const CInfList<CSetRecord>&, int* index) {
    *index = 0;
    return 0;
}
int InstallSession::AskReplaceDll(const char*, const char*, const char*, const char*, const char*, const char*,
                                  int* answer) {
    *answer = 0;
    return 0;
}
int InstallSession::AskPackages(CStringList*) { return 0; }
int InstallSession::AskReboot(const char*) { return 0; }
int InstallSession::AskExistingInstall(int* choice, const char*, const char*, const char*) {
    *choice = 2;
    return 0;
}
int InstallSession::AskUpgrade(const char*, const char*, const char*, int* upgrade) {
    *upgrade = 1;
    return 0;
}
int InstallSession::ShowOtherVersions(const char*, const CStringList&, const CStringList&, const CStringList&) {
    return 0;
}
int InstallSession::AskDeleteSystemFile(const char*) { return 0; }
int InstallSession::AskDeleteReadOnlyFile(const char*) { return 0; }
void InstallSession::EnableProgressStep(int, bool) {}
int InstallSession::AskOtherDirectory(CString*) { return ZRK_CANCEL; }
int InstallSession::RemoveOldVersion() { return ZRK_INTERNAL_ERROR(); }

int InstallSession::DetectInstalled(SessionHookMode, CString*) { return 0; }
int InstallSession::ExtractPackages(SessionHookMode, const std::vector<int>&) { return 0; }
int InstallSession::RemoveOldRegistration(SessionHookMode) { return 0; }
int InstallSession::UninstallDeselected(SessionHookMode, const CStringList&) { return 0; }
int InstallSession::ConfigureStep(SessionHookMode, int) { return 0; }
int InstallSession::RegisterProduct(SessionHookMode) { return 0; }
int InstallSession::WriteUninstallRecord(SessionHookMode) { return 0; }
int InstallSession::UninstallTask(SessionHookMode) { return 0; }
bool InstallSession::UserIsAdministrator() { return true; }
void InstallSession::BeginProgress(const char*, int total) { m_progressTotal = total; }
int InstallSession::ProgressText(const char*, const char*) { return 0; }
void InstallSession::EndProgress() {}
void InstallSession::SetModeFlags(bool reinstall, bool modify, bool addPackages, bool secondCopy, bool upgrade) {
    m_reinstall = reinstall;
    m_modify = modify;
    m_addPackages = addPackages;
    m_secondCopy = secondCopy;
    m_upgrade = upgrade;
}
int InstallSession::NotBuilt(const char* what) { return ZrkErrorId(ZRK_DESCERR, MSG_STEP_NOT_BUILT, what); }
