// A distribution in a scratch directory for the tests of extraction and file
// installation: disks with markers and volumes packed by the archive writer,
// and a session that records its questions.
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

// Records its questions ("disk2:disk2.dsk", "overwrite:<text>", ...) and the
// disks made sure of; answers as the defaults unless a test says otherwise.
class RecordingSession : public InstallSession {
public:
    std::vector<std::string> asked;
    std::string ensured;
    CString diskFoundAt;              // AskDisk's answer when set
    std::pair<int, int> firstAnswer{-1, 0};  // the first AskOverwriteReadOnly's skip, overwrite when set
    int yes = 0;                      // AskYesNo answers yes this many times
    std::vector<double> freeSpace;    // FreeSpaceOf in turn, the last one repeated
    std::vector<int64_t> progress;    // per volume: its size and those read before it
    bool cancelInSecondVolume = false;

    std::string Asked(bool whole = true) const {
        std::string all;
        for (const auto& q : asked) all += (whole ? q : q.substr(0, q.find(':'))) + " ";
        return all;
    }
    int EnsureDisk(int disk, const char* marker) override {
        ensured += std::to_string(disk);
        return InstallSession::EnsureDisk(disk, marker);
    }
    int AskDisk(CString* path, int disk, const char* marker) override {
        asked.push_back("disk" + std::to_string(disk) + ":" + marker);
        if (diskFoundAt.IsEmpty()) return InstallSession::AskDisk(path, disk, marker);
        *path = diskFoundAt;
        return 0;
    }
    int AskOverwriteReadOnly(const char* message, int* skip, int* overwrite) override {
        asked.push_back(std::string("overwrite:") + message);
        if (firstAnswer.first < 0) return InstallSession::AskOverwriteReadOnly(message, skip, overwrite);
        *skip = firstAnswer.first;
        if (overwrite) *overwrite = firstAnswer.second;
        firstAnswer.first = -1;
        return 0;
    }
    int AskYesNo(const char* message) override {
        asked.push_back(std::string("yesno:") + message);
        return yes-- > 0 ? 1 : 0;
    }
    int AskReplaceDll(const char* s, const char* sl, const char* sv, const char* d, const char* dl, const char* dv,
                      int* answer) override {
        asked.push_back(std::string("replace:") + sv + "/" + dv);
        return InstallSession::AskReplaceDll(s, sl, sv, d, dl, dv, answer);
    }

protected:
    double FreeSpaceOf(const char* path) const override {
        auto& free = const_cast<std::vector<double>&>(freeSpace);
        if (free.empty()) return InstallSession::FreeSpaceOf(path);
        const double next = free.front();
        if (free.size() > 1) free.erase(free.begin());
        return next;
    }
    int VolumeProgress(int64_t before, int64_t size, int) override {
        if (cancelInSecondVolume && before > 0) return ZRK_CANCEL;
        if (progress.empty() || progress.back() != before + size) progress.push_back(before + size);
        return 0;
    }
    int ProgressText(const char*, const char*) override { return 0; }
};

// One member of a package: its name below the destination and its bytes.
using Member = std::pair<std::string, std::string>;

// Bytes the compressor cannot shrink much, so that a member spans volumes.
inline std::string Noise(size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    return s;
}

// A package block: NAME, its archive of the same name, its disks and files.
inline std::string Package(const char* name, const std::vector<int>& disks, const std::vector<Member>& members,
                           const std::string& extra = "") {
    std::string block = std::string("{ PACKAGE\n PACKAGENAME = ") + name + "\n ARCHIVENAME = " + name + "\n" + extra;
    for (int d : disks) block += " DISK = " + std::to_string(d) + "\n";
    for (const Member& m : members) block += " { FILE\n  FILENAME = " + m.first + "\n }\n";
    return block + "}\n";
}

// A product installing PACKAGES, with the set's further lines EXTRA.
inline std::string Product(const std::vector<std::string>& packages, const std::string& extra = "") {
    std::string set = "{ SET\n APPNAME = Demo\n";
    for (const std::string& p : packages) set += " MAXIMAL = " + p + "\n";
    return set + extra + "}\n";
}

class DistributionTest : public ::testing::Test {
protected:
    ScratchDir scratch;
    CRecordingScope reports;

    void Fresh() {
        RemoveTree(scratch.Dir());
        reports.entries.clear();
    }

    // Packs MEMBERS into volumes of LIMIT bytes, the Nth as DIRd\ARCHIVE.00d
    // with d = FIRSTDISK + N - 1 beside the marker DIRd.dsk. The volume count.
    int Pack(const char* archive, int firstDisk, const std::vector<Member>& members, int64_t limit = 1 << 20,
             const char* dir = "disk") {
        const CString staging = scratch.Path("staging\\");
        CFile::MakeAllDirs(staging + "x");
        CArchive writer;
        writer.SetVolumeLimit(limit);
        writer.SetDirectory(staging);
        writer.SetBaseName("v");
        writer.ResetVolumes();
        CFile volume, file;
        CByteBuffer buffer;
        file.SetPath(staging + "src");
        for (const Member& m : members) {
            WriteAll(file.Path(), m.second);
            EXPECT_EQ(writer.AddFile(file, m.first.c_str(), volume, buffer), 0);
        }
        EXPECT_EQ(writer.WriteEndMarker(volume, true), 0);
        for (int n = 1, disk = firstDisk; n <= writer.VolumeNumber(); ++n, ++disk) {
            const CString target = scratch.Path(CString::Printf("%s%d\\", dir, disk));
            CFile::MakeAllDirs(target + "x");
            WriteAll(target + CString::Printf("%s%d.dsk", dir, disk), "");
            CFile::Rename(staging + CString::Printf("v%02d.ar", n), target + CString::Printf("%s.%03d", archive, disk));
        }
        return writer.VolumeNumber();
    }

    // Writes disk1\setup.inf and the answers, loads and plans S into "dest".
    int Plan(InstallSession& s, const std::string& inf, const std::string& answers = "") {
        CFile::MakeAllDirs(scratch.Path("disk1\\x"));
        WriteAll(scratch.Path("disk1\\setup.inf"), "VERSION = 1.0\n" + inf);
        WriteAll(scratch.Path("setup.ans"), "[Install]\nPath=" + Str(scratch.Path("dest")) + "\n" + answers);
        s.SetAnswerProfile(scratch.Path("setup.ans"));
        CString record;
        const int r = s.LoadDescription(scratch.Path("disk1\\setup.inf"));
        return r != 0 ? r : s.PrepareInstallation(&record);
    }

    std::string Dest(const char* name) const { return ReadAll(scratch.Path("dest\\") + name); }
    bool DestExists(const char* name) const { return CFile::Exists(scratch.Path("dest\\") + name); }
    // The message ids of the errors reported.
    std::vector<int> Errors() const {
        std::vector<int> ids;
        for (const auto& e : reports.entries)
            if (e.kind == ZRK_KIND_ERROR) ids.push_back(e.msgId);
        return ids;
    }
};
