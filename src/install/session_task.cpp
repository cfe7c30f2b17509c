// The engine task of the session: the install sequence with its setup
// files and configuration phase, the programs started afterwards, the
// reboot question, and the default hooks of work done elsewhere.
#include "src/infstruc/conditions.h"
#include "src/infstruc/variables.h"
#include "src/install/files.h"
#include "src/install/session.h"
#include "zrk/app.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/profile.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

// What each configuration step does, for the refusal of work not built.
const char* const kStepWork[] = {
    "",
    "environment variables",
    "renames at the next restart",
    "shared files",
    "program groups and shortcuts",
    "ini-file entries, registry values, services and self-registering libraries",
    "fonts",
};

}  // namespace

// ---- hooks: what this build does itself, and what it refuses ----------------------

int InstallSession::DetectInstalled(SessionHookMode, CString*) {
    // This build never registers a copy, so none can be found; removing one
    // is work it cannot do.
    return m_removeInstalled ? NotBuilt("removing an installed copy") : 0;
}

int InstallSession::ExtractPackages(SessionHookMode mode, const std::vector<int>& packages) {
    return mode == HOOK_CHECK ? 0 : ExtractPackageList(packages);
}

int InstallSession::RemoveOldRegistration(SessionHookMode mode) {
    if (!m_reinstall && !m_modify) return 0;
    return mode == HOOK_CHECK ? NotBuilt("removing the registration of the installed copy") : ZRK_INTERNAL_ERROR();
}

int InstallSession::UninstallDeselected(SessionHookMode mode, const CStringList& packages) {
    if (packages.Count() == 0) return 0;
    return mode == HOOK_CHECK ? NotBuilt("uninstalling packages taken out of the selection") : ZRK_INTERNAL_ERROR();
}

bool InstallSession::StepHasWork(int step) const {
    const CSetRecord& p = m_product;
    switch (step) {
        case 1: return p.UserEnv().Count() > 0 || p.SystemEnv().Count() > 0;
        case 2: return p.Renames().Count() > 0;
        case 3: return p.DllRecords().Count() > 0;
        case 4: return !m_group.IsEmpty() || p.PgmItems().Count() > 0;
        // Self-registration runs after the registry entries are written.
        case 5:
            return p.IniRecords().Count() > 0 || p.RegRecords().Count() > 0 || p.Services().Count() > 0 ||
                   p.RegSvr32().Count() > 0;
        case 6: return p.Fonts().Count() > 0;
        default: return false;
    }
}

int InstallSession::ConfigureStep(SessionHookMode mode, int step) {
    if (step < 1 || step > 6) return ZRK_INTERNAL_ERROR();
    if (!StepHasWork(step)) return 0;
    const char* kind = kStepWork[step];
    // Shared files are counted in the registry, which only Windows has.
    if (step == 3 && SharedFilesSupported()) return mode == HOOK_CHECK ? 0 : InstallSharedFiles();
    return mode == HOOK_CHECK ? NotBuilt(kind) : ZRK_INTERNAL_ERROR();
}

int InstallSession::RegisterProduct(SessionHookMode mode) {
    if (m_newKey.IsEmpty()) return 0;
    return mode == HOOK_CHECK ? NotBuilt("registering the product") : ZRK_INTERNAL_ERROR();
}

int InstallSession::WriteUninstallRecord(SessionHookMode mode) {
    if (mode == HOOK_RUN) ZrkWarningId(MSG_NO_UNINSTALL_RECORD, ProductName().c_str());
    return 0;
}

int InstallSession::UninstallTask(SessionHookMode) { return NotBuilt("uninstallation"); }
int InstallSession::LoadRecord(const char*) { return UninstallTask(HOOK_CHECK); }
int InstallSession::PrepareUninstallation() { return UninstallTask(HOOK_CHECK); }

void InstallSession::BeginProgress(const char*, int total) { m_progressTotal = total; }
int InstallSession::ProgressText(const char* caption, const char* text) {
    return ZrkReport(ZRK_KIND_TRACE, 0, caption, "%s", text);
}
void InstallSession::EndProgress() {}

// ---- the engine task ----------------------------------------------------------------

int InstallSession::RunEngineTask() {
    if (m_uninstall) {
        ZRK_TRY(UninstallTask(HOOK_CHECK));
        BeginProgress("Uninstall", 1);
        const int result = UninstallTask(HOOK_RUN);
        EndProgress();
        return result;
    }
    if (!m_hasProduct || m_appPath.IsEmpty()) return ZRK_INTERNAL_ERROR();
    m_installing = true;
    const int result = InstallSequence();
    EndProgress();
    m_installing = false;
    return result;
}

int InstallSession::CheckWork(const std::vector<int>& packages) {
    ZRK_TRY(ExtractPackages(HOOK_CHECK, packages));
    ZRK_TRY(RemoveOldRegistration(HOOK_CHECK));
    if (m_modify) ZRK_TRY(UninstallDeselected(HOOK_CHECK, m_deselected));
    if (m_network == NETWORK_SERVER) return 0;
    if (!m_addPackages)
        for (int step = 1; step <= 6; ++step) ZRK_TRY(ConfigureStep(HOOK_CHECK, step));
    ZRK_TRY(RegisterProduct(HOOK_CHECK));
    return WriteUninstallRecord(HOOK_CHECK);
}

void InstallSession::EnableProgressSteps() {
    bool on[PROGRESS_STEP_COUNT] = {};
    on[PROGRESS_SETUP_FILES] = m_network != NETWORK_CLIENT;
    on[PROGRESS_OLD_VERSION] = m_modify;
    on[PROGRESS_SHARED_FILES] = m_product.DllRecords().Count() > 0;
    on[PROGRESS_GROUP] = !m_group.IsEmpty();
    on[PROGRESS_ENVIRONMENT] = on[PROGRESS_PROFILE_REGISTRY] = on[PROGRESS_REGISTRATION] = true;
    on[PROGRESS_SECOND_LIST] = m_product.IniRecords().Count() > 0;
    if (m_addPackages || m_network == NETWORK_SERVER)
        on[PROGRESS_GROUP] = on[PROGRESS_ENVIRONMENT] = on[PROGRESS_PROFILE_REGISTRY] = false;
    if (m_network == NETWORK_SERVER)
        on[PROGRESS_SHARED_FILES] = on[PROGRESS_SECOND_LIST] = on[PROGRESS_REGISTRATION] = false;
    for (int step = 0; step < PROGRESS_STEP_COUNT; ++step) EnableProgressStep(step, on[step]);
}

int InstallSession::InstallSequence() {
    std::vector<int> packages;
    ZRK_TRY(SelectionToIndexes(&packages));
    int64_t files = 0;
    for (int index : packages) files += m_desc.packages[index].Files().Count();
    if (files == 0) files = 1;
    BeginProgress("Install", static_cast<int>(files * 11 / 10));
    // Nothing is changed before every step has said it can do its work.
    ZRK_TRY(CheckWork(packages));
    if (!CFile::IsDirectory(m_appPath)) ZRK_TRY(CFile::MakeAllDirs(m_appPath));
    EnableProgressSteps();
    if (m_network != NETWORK_CLIENT) ZRK_TRY(CopySetupFiles());
    ZRK_TRY(ExtractPackages(HOOK_RUN, packages));
    if (m_reinstall || m_modify) {
        if (m_hasSavedProduct) m_product = m_savedProduct;
        ZRK_TRY(RemoveOldRegistration(HOOK_RUN));
        if (m_modify) ZRK_TRY(UninstallDeselected(HOOK_RUN, m_deselected));
    }
    if (m_network != NETWORK_SERVER) return ConfigurationPhase();
    ZRK_TRY(WriteInfoText());
    CProfile rem(m_appPath + "setup.rem", "Network");
    if (rem.WriteText("Type", "Server") != 0)
        return ZrkErrorId(ZRK_FAIL, MSG_OPEN_WRITE, rem.File().c_str(), zrkos::LastErrno(),
                          zrkos::ErrnoText(zrkos::LastErrno()).c_str());
    return 0;
}

int InstallSession::ConfigurationPhase() {
    int result = 0;
    // Steps 1-6 stop at the first failure; step 7 runs all the same, so
    // that what was put in place is recorded and can be removed.
    for (int step = 1; step <= 6 && !m_addPackages && result == 0; ++step) {
        const int r = ConfigureStep(HOOK_RUN, step);
        if (r == ZRK_CANCEL) return ZRK_CANCEL;
        result = r;
        if (ProgressText("Configure", CString::Printf("%d", step)) == ZRK_CANCEL && result == 0) return ZRK_CANCEL;
    }
    int r = RegisterProduct(HOOK_RUN);
    if (r == ZRK_CANCEL && result == 0) return ZRK_CANCEL;
    ZRK_KEEP(result, r);
    if (m_network != NETWORK_CLIENT) ZRK_KEEP(result, WriteInfoText());
    ZRK_KEEP(result, WriteUninstallRecord(HOOK_RUN));
    if (ProgressText("Configure", "7") == ZRK_CANCEL && result == 0) return ZRK_CANCEL;
    return result;
}

CString InstallSession::ShortenForProgress(const char* path) const {
    const int limit = ProgressLimit();
    CString text = path;
    if (text.Length() <= limit) return text;
    CStringList parts;
    parts.AddSplit(path, '\\');
    if (parts.Count() >= 3) {
        const CString& file = parts[parts.Count() - 1];
        // The drive with its first directory ("C:\Program ...\setup.exe"),
        // then the drive alone ("C: ...\setup.exe").
        CString shape = CString::Printf("%s%s ...%c%s", parts[0].c_str(), ("\\" + parts[1]).c_str(), '\\', file.c_str());
        if (shape.Length() > limit) shape = CString::Printf("%s ...%c%s", parts[0].c_str(), '\\', file.c_str());
        text = shape;
    }
    if (text.Length() > limit) text = CString(text.c_str(), limit - 3) + "...";
    return text;
}

int InstallSession::CopySetupFiles() {
    for (int i = 0; i < m_setupFiles.Count(); ++i) {
        CString entry = m_setupFiles[i];
        if (entry.StartsWith("\"") && entry.Length() >= 2) entry.Assign(entry.c_str() + 1, entry.Length() - 2);
        CString name, target;
        const int comma = entry.Find(',');
        name.Assign(entry.c_str(), comma < 0 ? entry.Length() : comma);
        if (comma >= 0) target = entry.c_str() + comma + 1;
        name.Trim();
        target.Trim();
        CString source = CFile::Join(m_sourcePath, name);
        if (!CFile::Exists(source)) continue;
        if (!target.IsEmpty() && ExpandVariables(&m_product, target, false) != 0) continue;
        CString dest = target.IsEmpty() ? m_appPath + name : target;
        if (CFile::Exists(dest) && (!CFile::Writable(dest) || CFile::InUse(dest))) continue;
        if (ProgressText("Install", ShortenForProgress(dest)) == ZRK_CANCEL) return ZRK_CANCEL;
        for (CString* path : {&source, &dest}) {
            if (!CFile::Exists(*path)) continue;
            if (zrkos::QueryShortPath(*path, path) != 0)
                return ZrkErrorId(ZRK_WINERR, MSG_NO_SHORT_NAME, path->c_str(), zrkos::LastSystemError());
        }
        if (source.CompareNoCase(dest) == 0) continue;
        const CString dir = CFile::DirPart(dest);
        if (!dir.IsEmpty() && !CFile::IsDirectory(dir)) ZRK_TRY(CFile::MakeAllDirs(dest));
        if (CFile::Exists(dest)) CFile::SetReadOnly(dest, false);
        if (zrkos::CopyFileTo(source, dest) != 0)
            return ZrkErrorId(ZRK_FAIL, MSG_SETUP_FILE_COPY, source.c_str(), dest.c_str());
        CFile::SetReadOnly(dest, false);
        m_fileList.Add(dest);
    }
    return 0;
}

// ---- after the installation -----------------------------------------------------------

int InstallSession::StartPrograms() {
    if (!m_hasProduct || m_network == NETWORK_SERVER) return 0;
    int result = 0;
    const CInfList<CRunRecord>& programs = m_product.Programs();
    for (int i = 0; i < programs.Count(); ++i) {
        const CRunRecord& run = programs[i];
        int holds = 0;
        int r = EvaluateTest(run, &m_product, &holds);
        CString command = run.Name(), arguments = run.Command();
        if (r == 0 && holds) r = ExpandVariables(&m_product, command, false);
        if (r == 0 && holds) r = ExpandVariables(&m_product, arguments, false);
        ZRK_KEEP(result, r);
        if (r != 0 || !holds || AskRunProgram(run.Ask() ? 1 : 0, command) == 0) continue;
        const CString line = arguments.IsEmpty() ? command : CString::Printf("%s %s", command.c_str(), arguments.c_str());
        if (CApp* app = ZrkApp()) {
            ZRK_KEEP(result, app->StartProcess(line, nullptr, false, true));
        } else if (zrkos::StartProcess(line, nullptr, false, nullptr) != 0) {
            ZRK_KEEP(result, ZrkErrorId(ZRK_FAIL, MSG_START_FAILED, line.c_str(), zrkos::LastSystemError()));
        }
    }
    return result;
}

int InstallSession::RebootQuestion(bool* restart) {
    *restart = false;
    if (!m_hasProduct || m_network == NETWORK_SERVER || m_product.Reboot().IsEmpty()) return 0;
    *restart = AskReboot(m_product.Reboot()) != 0;
    return 0;
}
