// File installation: every archive member passes the session's member output
// (free space, read-only and in-use destinations, decisions per member), and
// configuration step 3 places the product's shared files under the version
// rule with their use counts.
#include "src/install/files.h"

#include "src/infstruc/conditions.h"
#include "src/infstruc/variables.h"
#include "src/install/session.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/report.h"
#include "zrk/result.h"
#include "zrk/version.h"

SharedFileDecision DecideSharedFile(const SharedFileFacts& source, const SharedFileFacts& dest) {
    if (!source.version.IsEmpty() && !dest.version.IsEmpty()) {
        const int order = ZrkCompareVersions(dest.version, source.version);
        if (order != 0) return order < 0 ? SHARED_REPLACE : SHARED_KEEP;
        const bool same = !source.language.IsEmpty() && source.language == dest.language && source.size == dest.size;
        return same ? SHARED_KEEP : SHARED_ASK;
    }
    return source.time.Value() - dest.time.Value() >= CTimeEx::kUsPerDay ? SHARED_REPLACE : SHARED_ASK;
}

// ---- member output ------------------------------------------------------------------

double InstallSession::FreeSpaceOf(const char* path) const {
    const CString text = path;
    if (text.Length() >= 3 && text[1] == ':') return CFile::FreeSpace(CString(text.c_str(), 3));
    // Without a drive: the member's directory, or the application's before it is made.
    const CString dir = CFile::DirPart(text);
    return CFile::FreeSpace(CFile::IsDirectory(dir) ? dir : m_appPath);
}

int InstallSession::OpenMemberOutput(const CArchiveEntry& entry, const char* destDir) {
    const CString dest = CString(destDir ? destDir : "") + entry.name;
    // A member continued on this volume keeps the decisions made for its
    // first piece; any other piece starts a member with its own checks.
    if (entry.pieceOffset == 0 || dest != m_lastMember) {
        if (!m_partialMember.IsEmpty()) DropPartialMember();
        m_lastMember = dest;
        m_skipMember = m_overwriteMember = false;
        if (ProgressText("Install", ShortenForProgress(dest)) == ZRK_CANCEL) return ZRK_CANCEL;
        if (!dest.StartsWith("\\\\")) {
            for (;;) {
                const double free = FreeSpaceOf(dest);
                if (free < 0 || free >= kLowSpaceBytes) break;
                CString question;
                question.FormatId(MSG_LOW_DISK_SPACE, dest.c_str());
                if (AskYesNo(question) == 0) return ZRK_CANCEL;
            }
        }
        // The question is asked again until the file can be written or a
        // decision is made: the user may close the program that holds it.
        while (!m_skipMember && !m_overwriteMember && CFile::Exists(dest)) {
            const bool writable = CFile::Writable(dest);
            if (writable && !CFile::InUse(dest)) break;
            int skip = 0, overwrite = 0;
            CString question;
            question.FormatId(writable ? MSG_FILE_IN_USE : MSG_OVERWRITE_READ_ONLY, dest.c_str());
            const int r = AskOverwriteReadOnly(question, &skip, writable ? nullptr : &overwrite);
            if (r != 0) return r;
            m_skipMember = skip != 0;
            m_overwriteMember = overwrite != 0;
        }
    }
    if (m_overwriteMember && CFile::Exists(dest)) CFile::SetReadOnly(dest, false);
    if (m_skipMember && !m_overwriteMember) return ZRK_SKIP;
    return CArchive::OpenMemberOutput(entry, destDir);
}

int InstallSession::CloseMemberOutput(const CArchiveEntry& entry, int result) {
    const int r = CArchive::CloseMemberOutput(entry, result);
    // A member written in part is deleted unless its next piece follows.
    m_partialMember.Empty();
    if (result == 0 && r == 0 && !entry.IsLastPiece()) m_partialMember = MemberPath();
    return r;
}

void InstallSession::DropPartialMember() {
    if (!m_partialMember.IsEmpty() && CFile::Exists(m_partialMember)) CFile::RemoveFile(m_partialMember);
    m_partialMember.Empty();
}

// ---- shared files ---------------------------------------------------------------------

int InstallSession::InstallSharedFiles() {
    const CInfList<CDllRecord>& records = m_product.DllRecords();
    for (int i = 0; i < records.Count(); ++i) {
        int holds = 0;
        ZRK_TRY(EvaluateTest(records[i], &m_product, &holds));
        if (holds) ZRK_TRY(InstallSharedRecord(records[i]));
    }
    return 0;
}

int InstallSession::InstallSharedRecord(const CDllRecord& record) {
    CString dir = record.To();
    ZRK_TRY(ExpandVariables(&m_product, dir, false));
    bool firstReplaced = false;
    for (int i = 0; i < record.Files().Count(); ++i) {
        CString source = record.Files()[i];
        ZRK_TRY(ExpandVariables(&m_product, source, false));
        if (!CFile::IsFile(source)) continue;
        const CString dest = CFile::Join(dir, FileNameOf(source));
        const bool existed = CFile::Exists(dest);
        bool replace = true;
        if (existed && record.TestFirstOnly() && i > 0) {
            replace = firstReplaced;
        } else if (existed) {
            SharedFileFacts s, d;
            ZRK_TRY(ReadSharedFileFacts(source, &s));
            ZRK_TRY(ReadSharedFileFacts(dest, &d));
            const SharedFileDecision decision = DecideSharedFile(s, d);
            if (decision == SHARED_ASK) {
                int answer = 0;
                ZRK_TRY(AskReplaceDll(source, s.language, s.version, dest, d.language, d.version, &answer));
                replace = answer != 0;
            } else {
                replace = decision == SHARED_REPLACE;
            }
        }
        bool placed = false;
        if (replace) ZRK_TRY(PlaceSharedFile(source, dest, existed, &placed));
        if (i == 0 && record.TestFirstOnly()) firstReplaced = placed;
        // The product uses the file at DEST whether its own copy went there
        // or the one already there serves: either way its use is counted,
        // or removing another product that counted it would delete it.
        if (!m_reinstall && !(m_modify && m_sharedFiles.Find(dest, false) >= 0))
            ZRK_TRY(AddSharedFileUse(dest, existed));
        if (m_sharedFiles.Find(dest, false) < 0) m_sharedFiles.Add(dest);
        if (placed && m_network != NETWORK_CLIENT) {
            ZRK_TRY(CFile::RemoveFile(source));
            const int at = m_fileList.Find(source);
            if (at >= 0) m_fileList.RemoveAt(at);
        }
    }
    return 0;
}

// Puts SOURCE in place of DEST (which EXISTED or not); *PLACED tells whether
// it went there, now or at the next restart.
int InstallSession::PlaceSharedFile(const CString& source, const CString& dest, bool existed, bool* placed) {
    *placed = false;
    if (!existed) {
        const CString dir = CFile::DirPart(dest);
        if (!dir.IsEmpty() && !CFile::IsDirectory(dir)) ZRK_TRY(CFile::MakeAllDirs(dest));
        ZRK_TRY(CFile::Copy(source, dest));
        *placed = true;
        return 0;
    }
    int skip = 0, overwrite = 0;
    while (!skip && !overwrite && CFile::Exists(dest) && (!CFile::Writable(dest) || CFile::InUse(dest))) {
        const bool writable = CFile::Writable(dest);
        CString question;
        question.FormatId(writable ? MSG_SHARED_FILE_IN_USE : MSG_OVERWRITE_READ_ONLY, dest.c_str());
        const int r = AskOverwriteReadOnly(question, &skip, writable ? nullptr : &overwrite);
        if (r != 0) return r;
    }
    if (skip && CFile::InUse(dest)) {
        // A copy of its own beside the file in use (two files that differ
        // only in their extension must not share one), renamed over it at
        // the next restart.
        CString staged;
        if (zrkos::SystemTempName(CFile::DirPart(dest), "zrk", &staged) != 0)
            return ZrkErrorId(ZRK_WINERR, MSG_REBOOT_RENAME, dest.c_str(), zrkos::LastSystemError());
        ZRK_TRY(CFile::Copy(source, staged));
        ZRK_TRY(ReplaceSharedFileAtReboot(staged, dest));
        if (m_product.Reboot().IsEmpty()) {
            CString text;
            text.FormatId(MSG_REBOOT_NEEDED);
            m_product.SetReboot(text);
        }
        *placed = true;
        return 0;
    }
    // Unattended a read-only shared file is kept: the skip answer wins.
    if (skip) return 0;
    if (overwrite) CFile::SetReadOnly(dest, false);
    ZRK_TRY(CFile::Copy(source, dest));
    *placed = true;
    return 0;
}
