// A distribution built in a scratch directory for the tests of extraction
// and file installation: disk directories with their markers and volumes
// packed by the archive writer, and a session that records its questions.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "src/install/session.h"
#include "testutil.h"
#include "zrk/archive.h"
#include "zrk/cfile.h"
#include "zrk/report.h"

// Records the questions it is asked; the answers are the defaults unless a
// test sets its own.
class RecordingSession : public InstallSession {
public:
    std::vector<std::string> asked;
    // AskDisk: the directory each disk is found in when asked (else the default answer).
    std::vector<std::pair<int, CString>> diskAt;
    // AskOverwriteReadOnly answers {skip, overwrite} in turn, then the defaults.
    std::vector<std::pair<int, int>> overwriteAnswers;
    std::vector<int> yesNoAnswers;
    std::vector<double> freeSpace;  // FreeSpaceOf in turn, then the last one; empty: the system's
    std::vector<int64_t> progress;  // per volume read: its size and those of the volumes before it
    bool cancelInSecondVolume = false;
    std::string ensured;  // the disks made sure of, in turn

    int EnsureDisk(int disk, const char* marker) override {
        ensured += (ensured.empty() ? "" : " ") + std::to_string(disk);
        return InstallSession::EnsureDisk(disk, marker);
    }

    int AskDisk(CString* path, int disk, const char* marker) override {
        asked.push_back("disk" + std::to_string(disk) + ":" + marker);
        for (const auto& at : diskAt)
            if (at.first == disk) {
                *path = at.second;
                return 0;
            }
        return InstallSession::AskDisk(path, disk, marker);
    }
    int AskOverwriteReadOnly(const char* message, int* skip, int* overwrite) override {
        asked.push_back(std::string("overwrite:") + message);
        if (overwriteAnswers.empty()) return InstallSession::AskOverwriteReadOnly(message, skip, overwrite);
        *skip = overwriteAnswers.front().first;
        if (overwrite) *overwrite = overwriteAnswers.front().second;
        overwriteAnswers.erase(overwriteAnswers.begin());
        return 0;
    }
    int AskYesNo(const char* message) override {
        asked.push_back(std::string("yesno:") + message);
        if (yesNoAnswers.empty()) return 0;
        const int answer = yesNoAnswers.front();
        yesNoAnswers.erase(yesNoAnswers.begin());
        return answer;
    }
    int AskReplaceDll(const char* s, const char* sl, const char* sv, const char* d, const char* dl, const char* dv,
                      int* answer) override {
        asked.push_back(std::string("replace:") + sv + "/" + dv);
        return InstallSession::AskReplaceDll(s, sl, sv, d, dl, dv, answer);
    }

protected:
    double FreeSpaceOf(const char* path) const override {
        if (freeSpace.empty()) return InstallSession::FreeSpaceOf(path);
        const double free = freeSpace.front();
        if (freeSpace.size() > 1) const_cast<RecordingSession*>(this)->freeSpace.erase(freeSpace.begin());
        return free;
    }
    int VolumeProgress(int64_t before, int64_t size, int) override {
        if (cancelInSecondVolume && before > 0) return ZRK_CANCEL;
        if (progress.empty() || progress.back() != before + size) progress.push_back(before + size);
        return 0;
    }
    int ProgressText(const char*, const char*) override { return 0; }
};

// One member of a package: its name below the package's directory and its bytes.
using Member = std::pair<std::string, std::string>;

// Bytes that the compressor cannot shrink much, so that a member spans volumes.
inline std::string Noise(size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (auto& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return s;
}

class DistributionTest : public ::testing::Test {
protected:
    ScratchDir scratch;
    CRecordingScope reports;

    // Starts a case of a table afresh: an empty scratch directory, no reports.
    void Fresh() {
        RemoveTree(scratch.Dir());
        reports.entries.clear();
    }

    // Packs MEMBERS into volumes of at most LIMIT bytes; the volume N is
    // stored as DIRn\ARCHIVE.00n counting n from FIRSTDISK, where DIR is
    // "disk" (with its marker) unless given. Returns the number of volumes.
    int Pack(const char* archive, int firstDisk, const std::vector<Member>& members, int64_t limit = 1 << 20,
             const char* dir = "disk", bool markers = true) {
        const CString staging = scratch.Path("staging") + "\\";
        CFile::MakeAllDirs(staging + "x");
        CArchive writer;
        writer.SetVolumeLimit(limit);
        writer.SetDirectory(staging);
        writer.SetBaseName("v");
        EXPECT_EQ(writer.ResetVolumes(), 0);
        CFile volume;
        CByteBuffer buffer;
        for (const Member& m : members) {
            const CString source = staging + "src";
            WriteAll(source, m.second);
            CFile file;
            file.SetPath(source);
            EXPECT_EQ(writer.AddFile(file, m.first.c_str(), volume, buffer), 0);
        }
        EXPECT_EQ(writer.WriteEndMarker(volume, true), 0);
        const int count = writer.VolumeNumber();
        for (int n = 0; n < count; ++n) {
            const int disk = firstDisk + n;
            const CString target = scratch.Path(CString::Printf("%s%d\\", dir, disk));
            CFile::MakeAllDirs(target + "x");
            if (markers) WriteAll(target + CString::Printf("%s%d.dsk", dir, disk), "");
            EXPECT_EQ(CFile::Rename(staging + CString::Printf("v%02d.ar", n + 1),
                                    target + CString::Printf("%s.%03d", archive, disk)),
                      0);
        }
        return count;
    }

    // Writes DISK1\setup.inf and the answers, loads and prepares S for the
    // destination "dest".
    int Plan(InstallSession& s, const std::string& inf, const std::string& answers = "",
             const char* disk1 = "disk1") {
        const CString dir = scratch.Path(disk1) + "\\";
        CFile::MakeAllDirs(dir + "x");
        WriteAll(dir + "setup.inf", "VERSION = 1.0\n" + inf);
        WriteAll(scratch.Path("setup.ans"), "[Install]\nPath=" + Str(scratch.Path("dest")) + "\n" + answers);
        s.SetAnswerProfile(scratch.Path("setup.ans"));
        int r = s.LoadDescription(dir + "setup.inf");
        CString record;
        return r != 0 ? r : s.PrepareInstallation(&record);
    }

    std::string Dest(const char* name) const { return ReadAll(scratch.Path("dest\\") + name); }
    bool DestExists(const char* name) const { return CFile::Exists(scratch.Path("dest\\") + name); }
    int Errors() const { return reports.Count(ZRK_KIND_ERROR); }
    int LastErrorId() const {
        for (auto it = reports.entries.rbegin(); it != reports.entries.rend(); ++it)
            if (it->kind == ZRK_KIND_ERROR) return it->msgId;
        return 0;
    }
};

// A package block: NAME with its archive of the same name, its DISK entries
// and one FILE entry per member.
inline std::string Package(const char* name, const std::vector<int>& disks, const std::vector<Member>& members,
                           const char* extra = "") {
    std::string block = std::string("{ PACKAGE\n PACKAGENAME = ") + name + "\n ARCHIVENAME = " + name + "\n" + extra;
    for (int d : disks) block += " DISK = " + std::to_string(d) + "\n";
    for (const Member& m : members)
        block += " { FILE\n  FILENAME = " + m.first + "\n  UNCOMPSIZE = " + std::to_string(m.second.size()) + "\n }\n";
    return block + "}\n";
}

// A product installing PACKAGES, and the set's further lines EXTRA.
inline std::string Product(const std::vector<std::string>& packages, const std::string& extra = "") {
    std::string set = "{ SET\n APPNAME = Demo\n";
    for (const std::string& p : packages) set += " MAXIMAL = " + p + "\n";
    return set + extra + "}\n";
}
