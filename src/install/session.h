// The installation session: one per run of either program.
//
// The session reads the description's header keys and blocks, asks what a
// plan needs through its interaction operations (public virtuals whose
// default answers come from the answer file, section "Install"), and runs
// the installation as one task: the setup files, the packages' files, the
// seven configuration steps, the product's registration and the uninstall
// record. The console program uses the defaults; the wizard overrides the
// interaction operations with pages.
//
// Work that lives elsewhere (detection of installed copies, extraction,
// the configuration steps, registration, the uninstall record, the
// uninstallation) is reached through hooks, each a virtual taking a
// SessionHookMode: HOOK_CHECK asks whether the plan gives the hook work it
// cannot do (and refuses the run then, before anything is changed), HOOK_RUN
// does the work. The default hooks do the work this build can do and refuse
// the rest with MSG_STEP_NOT_BUILT: nothing claims success for work it did
// not do.
//
// Results: 0 go on, 2 cancelled, 3 back (previous question), negative codes
// are failures, reported once where they arise.
#pragma once

#include <cstdint>
#include <vector>

#include "src/infstruc/reader.h"
#include "src/infstruc/records.h"
#include "zrk/archive.h"
#include "zrk/cstring.h"
#include "zrk/profile.h"

enum NetworkMode : int { NETWORK_STANDALONE = -1, NETWORK_SERVER = 0, NETWORK_CLIENT = 1 };

// The setup types of AskSetupType.
enum SetupType : int { SETUP_MAXIMAL = 0, SETUP_MINIMAL = 1, SETUP_CUSTOM = 2 };

// How a hook is called.
enum SessionHookMode : int {
    HOOK_CHECK = 0,  // before anything is changed: refuse work that cannot be done
    HOOK_RUN = 1,    // do the work
};

// The eight progress steps of EnableProgressStep.
enum ProgressStep : int {
    PROGRESS_SETUP_FILES = 0,
    PROGRESS_OLD_VERSION = 1,
    PROGRESS_SHARED_FILES = 2,
    PROGRESS_GROUP = 3,
    PROGRESS_ENVIRONMENT = 4,
    PROGRESS_PROFILE_REGISTRY = 5,
    PROGRESS_SECOND_LIST = 6,
    PROGRESS_REGISTRATION = 7,
    PROGRESS_STEP_COUNT = 8,
};

class InstallSession : public CArchive {
public:
    InstallSession();
    ~InstallSession() override;

    // --- set by the driver before loading -------------------------------------------
    // The answer file: an absolute path (the driver resolves it); section "Install".
    void SetAnswerProfile(const char* path);
    const CString& AnswerPath() const;
    // The command-line switches n, nc, ns (nc wins over ns, ns over n).
    void SetNetworkSwitches(bool ask, bool client, bool server);
    // Set when `u` is given with an empty value: AskExistingInstall answers "remove" without asking.
    void SetRemoveInstalledCopy(bool on);
    // The direction of the engine task: false install (initial), true uninstall.
    void SetUninstallDirection(bool uninstall);
    bool UninstallDirection() const;

    // --- the engine calls, in the order a driver makes them ---------------------------
    int LoadDescription(const char* path);            // path as the driver resolved it
    int PrepareInstallation(CString* recordPath);     // may hand back a record to process first
    int RunEngineTask();                              // progress + install or uninstall sequence, first non-zero result
    int StartPrograms();                              // after a successful installation
    // The reboot question: asks AskReboot when the product's reboot text is set; *restart := the answer.
    // The driver writes its status file and then restarts Windows itself when *restart is true.
    int RebootQuestion(bool* restart);
    int LoadRecord(const char* path);                 // uninstallation by record
    int PrepareUninstallation();

    // --- facts the driver reads ---------------------------------------------------------
    bool Reinstall() const { return m_reinstall; }
    bool Modify() const { return m_modify; }
    bool AddPackages() const { return m_addPackages; }
    // The chosen product's APPNAME and APPSHORTNAME; before a product is chosen those of the first SET read;
    // empty when no SET was read.
    CString ProductName() const;
    CString ProductShortName() const;

    // --- interaction operations (defaults answer from the answer file) ------------------
    virtual int ShowTitle(const char* title, const char* bitmap, const char* version);
    // PRODUCT's TCP port in and out: "TCPPort" (default: the current port).
    virtual int AskTcpPort(CSetRecord& product);
    // "Path", "Group" ("(No Group)": none), "UserGroup" into the settings;
    // then the disk-space check of DEST against NEEDEDKIB.
    virtual int AskDestination(const char* name, const char* version, const char* typeText,
                               const char* userName, const char* company, CString* dest, CString* group,
                               uint32_t neededKiB);
    virtual int AskDisk(CString* sourcePath, int disk, const char* marker);
    // *SKIP := 1; *OVERWRITE (may be null) := "OverwriteReadOnlyFile" is yes.
    virtual int AskOverwriteReadOnly(const char* message, int* skip, int* overwrite);
    virtual int ShowNotice(const char* message);      // reports MESSAGE as information, 0
    virtual int AskYesNo(const char* message);        // 0 (no)
    // 1 when ASK is 0, else 0.
    virtual int AskRunProgram(int ask, const char* command);
    virtual int ShowWelcome(const char* title);
    virtual int ShowUninstallWelcome();
    virtual int AskUninstallConfirm();
    // "UserName" and "Company"; without "UserName": MSG_NO_USER_NAME, -498.
    virtual int AskUserInfo(CString* userName, CString* company);
    virtual int AskNetworkMode(NetworkMode* mode, const char* title);
    // "ServerPath" (empty: the source path) with a trailing backslash; its
    // "setup.rem" must say Type=Server in section [Network].
    virtual int AskServerPath(CString* serverPath, const char* title);
    // "Type": minimal, custom, maximal or empty.
    virtual int AskSetupType(const char* title, int* type, uint32_t minimalKiB, uint32_t maximalKiB);
    // *INDEX counts all SETs of the description from 0: "Product", default
    // the first applicable one.
    virtual int AskProduct(const CInfList<CSetRecord>& products, int* index);
    virtual int AskReplaceDll(const char* sourcePath, const char* sourceLanguage, const char* sourceVersion,
                              const char* destPath, const char* destLanguage, const char* destVersion,
                              int* answer);
    // "Packages": names separated by ",".
    virtual int AskPackages(CStringList* selection);
    virtual int AskReboot(const char* rebootText);    // "Reboot" is yes
    virtual int AskExistingInstall(int* choice, const char* name, const char* version, const char* language);
    // *UPGRADE := 1 unless the description forbids upgrades (ACCEPTUPGRADE 0).
    virtual int AskUpgrade(const char* name, const char* version, const char* directory, int* upgrade);
    virtual int ShowOtherVersions(const char* name, const CStringList& versions, const CStringList& languages,
                                  const CStringList& directories);
    virtual int AskDeleteSystemFile(const char* path);
    virtual int AskDeleteReadOnlyFile(const char* path);
    virtual void EnableProgressStep(int step, bool on);
    virtual int AskOtherDirectory(CString* path);     // 2 (cancel)
    virtual int RemoveOldVersion();

    // --- state ---------------------------------------------------------------------------
    const CInfDescription& Description() const { return m_desc; }
    // The chosen product (a copy the plan edits); nullptr before the choice.
    const CSetRecord* Product() const { return m_hasProduct ? &m_product : nullptr; }
    int ProductIndex() const { return m_productIndex; }
    NetworkMode Network() const { return m_network; }
    const CString& DescriptionPath() const { return m_descPath; }
    const CString& SourcePath() const { return m_sourcePath; }
    const CString& ServerPath() const { return m_serverPath; }
    const CString& WindowsDir() const { return m_windowsDir; }
    const CString& SystemDir() const { return m_systemDir; }
    const CString& AppPath() const { return m_appPath; }
    const CString& RecordPath() const { return m_recordPath; }
    const CString& TypeText() const { return m_typeText; }
    const CString& Group() const { return m_group; }
    const CString& UserName() const { return m_userName; }
    const CString& Company() const { return m_company; }
    const CStringList& Selection() const { return m_selection; }
    const CStringList& SetupFiles() const { return m_setupFiles; }
    const CStringList& FileList() const { return m_fileList; }
    const CStringList& KeepList() const { return m_keepList; }
    // The shared files installed into system places (compared without regard to case).
    const CStringList& SharedFiles() const { return m_sharedFiles; }
    // The label of the disks being read: the description's, or an external package's.
    const CString& DiskLabel() const { return m_diskLabel; }
    const CString& InfoText() const { return m_infoText; }
    bool SecondCopy() const { return m_secondCopy; }
    bool Upgrade() const { return m_upgrade; }
    bool Installing() const { return m_installing; }
    int ProgressTotal() const { return m_progressTotal; }
    // Sum of the selection's package sizes in KiB (with the margin the plan adds).
    uint32_t NeededKiB() const { return m_neededKiB; }

    // The answer profile (section "Install").
    const CProfile& Answers() const { return m_answers; }

    // Makes sure disk DISK is in the source path: its marker (MARKER, or the
    // disk pattern formatted with DISK) is there, or in the directory of that
    // disk beside the current one, or AskDisk brings it (its result: 2
    // cancels, -498 unattended).
    virtual int EnsureDisk(int disk, const char* marker);

    // Member output: every member of a volume passes here before the
    // archive reader writes it.
    int OpenMemberOutput(const CArchiveEntry& entry, const char* destDir) override;
    int CloseMemberOutput(const CArchiveEntry& entry, int result) override;

protected:
    // --- hooks for the work of other parts of the engine ------------------------------
    // Looks for installed copies of the chosen product; may hand back a
    // record to remove first in *RECORDPATH or set the flags reinstall,
    // modify, add packages, second copy or upgrade.
    virtual int DetectInstalled(SessionHookMode mode, CString* recordPath);
    // Extracts the packages of PACKAGES (indexes into the package list).
    virtual int ExtractPackages(SessionHookMode mode, const std::vector<int>& packages);
    // Reinstall or modify: removes the old registration (with the saved
    // product restored).
    virtual int RemoveOldRegistration(SessionHookMode mode);
    // Modify: uninstalls the installed packages no longer selected.
    virtual int UninstallDeselected(SessionHookMode mode, const CStringList& packages);
    // The configuration steps 1 to 6: STEP 1 environment, 2 renames, 3 shared
    // files, 4 program groups and items, 5 ini, registry and services,
    // 6 fonts.
    virtual int ConfigureStep(SessionHookMode mode, int step);
    // Step 7: the product's registration, then the uninstall record.
    virtual int RegisterProduct(SessionHookMode mode);
    virtual int WriteUninstallRecord(SessionHookMode mode);
    // The uninstall direction of the engine task.
    virtual int UninstallTask(SessionHookMode mode);
    // The administrator test of an NT installation with TESTADMINONNT.
    virtual bool UserIsAdministrator();

    // Progress of the engine task: BeginProgress at its start, a report of
    // kind 16 per step (2 from it cancels), EndProgress at its end.
    virtual void BeginProgress(const char* caption, int total);
    virtual int ProgressText(const char* caption, const char* text);
    virtual void EndProgress();

    // The installed packages (from an existing record).
    CStringList& InstalledPackages() { return m_installedPackages; }
    // Flags that detection sets.
    void SetModeFlags(bool reinstall, bool modify, bool addPackages, bool secondCopy, bool upgrade);
    // Refuses work this build cannot do: MSG_STEP_NOT_BUILT with WHAT, -498.
    static int NotBuilt(const char* what);
    // True when "ACCEPTUPGRADE" allows an upgrade.
    bool AcceptUpgrade() const { return m_acceptUpgrade; }
    // The disk-space check of the default AskDestination: the free space of
    // DEST's drive must hold NEEDEDKIB and kSizeMarginKiB more; a network
    // path (two leading backslashes) passes. MSG_NO_DISK_SPACE and
    // ZRK_INTERNAL otherwise.
    int CheckDiskSpace(const CString& dest, uint64_t neededKiB) const;
    // The longest path a progress text shows (the wizard shows fewer).
    virtual int ProgressLimit() const { return 80; }
    CString ShortenForProgress(const char* path) const;
    // The file name of PATH: the text after its last backslash, or PATH
    // itself when it has none.
    static CString FileNameOf(const char* path);

    // What every installation needs beyond its packages' sizes, in KiB.
    static constexpr uint64_t kSizeMarginKiB = 5120;
    // Free space below this many bytes is asked about before a member is written.
    static constexpr double kLowSpaceBytes = 1048576.0;

    // Free bytes on the drive of PATH (-1 when unknown); tests give a small drive.
    virtual double FreeSpaceOf(const char* path) const;
    // Progress of the extraction: the running sum of the volumes read and
    // the size of the current one, with its percentage done.
    virtual int VolumeProgress(int64_t bytesBefore, int64_t volumeBytes, int percent);

private:
    void Reset();
    int ReadHeader();
    int ReadInfoText();
    int WriteInfoText();
    int ChooseProduct();
    int NameSecondCopy();
    int AskUserInformation();
    int PlanFresh();
    int PlanExisting();
    int AskNetwork();
    int AskTypeAndPackages();
    int AskCustomPackages();
    int AskPlanDestination();
    int FinishPlan();
    // NAMES as package indexes, each followed by the packages it uses (one
    // level), each at most once.
    int ExpandPackageList(const CStringList& names, std::vector<int>* out) const;
    // Drops the packages whose detection rule in the maximal list does not hold.
    int DropInapplicable(std::vector<int>* packages) const;
    CStringList PackageNames(const std::vector<int>& packages) const;
    int SelectionToIndexes(std::vector<int>* out) const;
    uint64_t ListKiB(const std::vector<int>& packages) const;
    bool FreshInstallation() const;
    bool StepHasWork(int step) const;
    int CheckWork(const std::vector<int>& packages);
    void EnableProgressSteps();
    int InstallSequence();
    int CopySetupFiles();
    int ConfigurationPhase();
    // Extraction (volumes.cpp).
    int CheckPackageDisks(const CInfDescription& desc) const;
    int ExtractPackageList(const std::vector<int>& packages);
    int EnterExternal(const CPackage& package, int* index);
    int ExtractVolumes(const CPackage& package);
    void DropPartialMember();
    // Shared files (files.cpp).
    int InstallSharedFiles();
    int InstallSharedRecord(const CDllRecord& record);
    int PlaceSharedFile(const CString& source, const CString& dest, bool existed, bool* placed);
    CString AnswerText(const char* key) const;
    long AnswerInt(const char* key, long def) const;
    bool AnswerYes(const char* key) const;
    // PATH made absolute against the description's directory, or the
    // current directory before a description is loaded.
    CString ResolvePath(const char* path) const;

    CInfDescription m_desc;
    CProfile m_answers;
    CString m_descPath, m_descDir, m_sourcePath, m_serverPath, m_windowsDir, m_systemDir;
    CString m_appPath, m_recordPath{"setup.log"};
    CString m_title, m_uninstallTitle, m_bitmap, m_appVersion, m_appLanguage, m_expectedVersion,
        m_expectedLanguage, m_diskLabel, m_newKey, m_txt;
    bool m_testAdmin = false, m_acceptUpgrade = true, m_userInfo = false;
    CStringList m_fileList, m_keepList, m_setupFiles;
    CSetRecord m_product, m_savedProduct;
    bool m_hasProduct = false, m_hasSavedProduct = false;
    int m_productIndex = -1;
    std::vector<bool> m_applicable;
    CStringList m_selection, m_installedPackages, m_deselected;
    std::vector<int> m_minimal, m_maximal;
    CString m_typeText, m_group, m_userName, m_company, m_infoText;
    bool m_hasInfoText = false;
    NetworkMode m_network = NETWORK_STANDALONE;
    bool m_askNetwork = false, m_clientSwitch = false, m_serverSwitch = false;
    bool m_reinstall = false, m_modify = false, m_addPackages = false, m_secondCopy = false, m_upgrade = false;
    bool m_removeInstalled = false, m_installing = false, m_uninstall = false;
    int m_progressTotal = 0;
    uint32_t m_neededKiB = 0;
    // Disks and volumes.
    // The disk markers are the prefix, the disk number and ".dsk".
    CString m_diskPrefix{"disk"}, m_keptSourcePath;
    bool m_external = false;
    int m_lastDisk = 0;
    int64_t m_volumeSum = 0;
    // Member output: the destination of the member last seen, its decisions,
    // and the member written in part whose continuation is still to come.
    CString m_lastMember, m_partialMember;
    bool m_skipMember = false, m_overwriteMember = false;
    CStringList m_sharedFiles;
};
