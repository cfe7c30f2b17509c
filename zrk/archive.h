// Archive volumes: the byte layout of a volume and the class that reads and
// writes them.
//
// An archive is a set of volume files, each small enough for one disk. A
// volume holds the magic "JAA1" (format 1) or "JAA2" (format 2), then piece
// records, each a header followed by its compressed data (one LZW stream,
// see comp.h), and ends with a header alone named "/END" (the archive goes
// on in the next volume) or "/ENDAR" (the archive ends here). A member (one
// file) is stored as one or more pieces; a piece that does not fit into the
// rest of a volume is continued by the first piece of the next volume.
//
// Piece header, integers unsigned little-endian, unaligned:
//
//   name         the member's path below the destination directory,
//                backslashes between directories, ending in a zero byte
//   kind         1 byte: 1 in a data piece, 0 in an end marker
//   fileSize     4 bytes: size of the whole member
//   pieceSize    4 bytes: uncompressed bytes in this piece
//   pieceOffset  4 bytes: where in the member the piece begins
//   packedSize   4 bytes: compressed bytes following the header
//   dataCrc      4 bytes: CRC-32 of the piece's uncompressed bytes
//   fileTime     4 bytes, format 2 only: last-write time, seconds since
//                1970-01-01 00:00 on the local wall clock; 0 for none
//   headerCrc    4 bytes: CRC-32 of all the fields above as stored
//
// Reading is strict: a volume that is damaged or made up to do harm ends
// the extraction with message 548 and -52 before its data is used. Member
// names are checked before anything is opened (IsValidMemberName), sizes
// are checked against the volume and the member, a piece's stream may
// neither read past its packed bytes nor produce more bytes than its header
// announces, and a member whose piece fails is deleted.
//
// The installation engine derives from CArchive and overrides
// OpenMemberOutput to place members itself (calling the base version).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "zrk/cfile.h"
#include "zrk/cstring.h"
#include "zrk/membuf.h"

// One piece header (or end marker) as read from or written to a volume.
struct CArchiveEntry {
    CString name;
    uint8_t kind = 0;
    uint32_t fileSize = 0;
    uint32_t pieceSize = 0;
    uint32_t pieceOffset = 0;
    uint32_t packedSize = 0;
    uint32_t dataCrc = 0;
    uint32_t fileTime = 0;  // always 0 when read from a format-1 volume
    uint32_t headerCrc = 0;

    static constexpr const char* kEndName = "/END";
    static constexpr const char* kEndArchiveName = "/ENDAR";

    bool IsEndMarker() const { return name == kEndName || name == kEndArchiveName; }
    bool IsEndOfArchive() const { return name == kEndArchiveName; }
    // Whether this piece completes its member.
    bool IsLastPiece() const { return uint64_t{pieceOffset} + pieceSize >= fileSize; }

    // Bytes a header with a name of NAMELENGTH characters takes in a volume
    // of format VERSION, CRC included.
    static int HeaderSize(int nameLength, int version) { return nameLength + (version == 1 ? 26 : 30); }
    // The stored fields without headerCrc (the name with its zero byte;
    // fileTime only for VERSION 2 and later) into OUT, which is cleared.
    int Serialize(CMemBuf& out, int version) const;
};

// Percentage of the current volume extracted so far; a non-zero result
// stops the extraction with that status (2: the user cancelled).
using ZrkArchiveProgress = std::function<int(int percent)>;

class CArchive {
public:
    static constexpr int kVolumeBuffer = 49152;    // bytes read or written at a time
    static constexpr int kMaxNameLength = 259;     // a member name, without its zero byte
    static constexpr int kNewVolumeMargin = 1024;  // at most this much room left: next volume
    // The smallest volume the writer accepts: room for a magic, a header
    // with the longest name, some data and the end marker.
    static constexpr int64_t kMinVolumeLimit = 2048;

    CArchive();
    virtual ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    // ---- writing ---------------------------------------------------------
    // Adds the file SOURCE (open, or closed with its path set) as the member
    // NAME, in as many pieces as the volumes need, through the output volume
    // file VOLUME. BUFFER collects a header and its data before they go to
    // the volume. Messages 544 (source missing), 545 (its size or time
    // cannot be read, or it changed while being read), 546 (NAME is not a
    // valid member name).
    virtual int AddFile(CFile& source, const char* name, CFile& volume, CByteBuffer& buffer);
    // Starts a new set of volumes: the next piece opens volume 1. An
    // internal error when the volume limit is below kMinVolumeLimit.
    virtual int ResetVolumes();
    // Moves VOLUME to the next volume file when the current one has at most
    // kNewVolumeMargin bytes left (writing "/END" into the old one), and
    // gives in *ROOM the compressed bytes the piece PIECENAME may take. The
    // room keeps back what the end marker and the compressor's last few
    // bytes need, so that no volume grows beyond the limit.
    virtual int PrepareVolume(const char* pieceName, int64_t* room, CFile& volume);

    // ---- reading: member output --------------------------------------------
    // Opens the output of the piece ENTRY below DESTDIR (which ends with a
    // backslash). 0: extract into the opened output; 4: skip the piece
    // (nothing is opened or closed); anything else stops the extraction
    // with that status, without a further message. The base version writes
    // DESTDIR + name, creating its directories for a first piece and
    // appending to the existing part for a continuation (messages 550 and
    // 551 with -53 when that part is missing or of the wrong size).
    virtual int OpenMemberOutput(const CArchiveEntry& entry, const char* destDir);
    // Closes the output of ENTRY; RESULT is the piece's outcome. The base
    // version sets the stored time on success and deletes the member (all
    // of its pieces) after a failure, its own failed close included.
    virtual int CloseMemberOutput(const CArchiveEntry& entry, int result);

    // ---- reading ---------------------------------------------------------
    // Extracts every piece of the volume VOLUMEPATH below DESTDIR.
    // *ENDOFARCHIVE (may be null) becomes 1 when the volume ends with
    // "/ENDAR", 0 when it ends with "/END". PROGRESS, if given, receives the
    // percentage of the volume done. Messages 544 to 551 as the failures
    // arise; every damaged volume gives 548 or 549 with -52, 547 for a file
    // that is not a volume. A failure is reported once: a failed read,
    // write or close of a file, or an allocation, by the layer that met it,
    // and then it ends the extraction with its status and no message here.
    int ExtractVolume(const char* destDir, const char* volumePath, int* endOfArchive,
                      const ZrkArchiveProgress& progress = nullptr);
    // Reads the next header of the volume being extracted into ENTRY and
    // checks it: its CRC, its name (IsValidMemberName, or an end marker with
    // all fields 0), its sizes against the member and the rest of the
    // volume. ZRK_BADDATA without message for a header that fails a check
    // or ends early (the caller reports it); a failed read as reported by
    // the file layer.
    int ReadEntry(CArchiveEntry& entry);

    // Ends VOLUME with "/ENDAR" (ENDOFARCHIVE) or "/END" and closes it. A
    // volume that is not open is started first, so that an archive without
    // members is one volume holding the end marker.
    int WriteEndMarker(CFile& volume, bool endOfArchive);

    // A member name is a relative path: not empty, at most kMaxNameLength
    // characters, no leading separator or drive, no colon, and components
    // that Windows can create: not empty, not "." or "..", no trailing dot
    // or blank, no control characters or <>"|?*, no device name (CON, NUL,
    // COM1, ... with or without extension). "/" counts as a separator.
    static bool IsValidMemberName(const char* name);

    // ---- settings and state ------------------------------------------------
    // Format written into new volumes: 2 unless set to 1.
    void SetWriteVersion(int version) { m_writeVersion = version == 1 ? 1 : 2; }
    int WriteVersion() const { return m_writeVersion; }
    void SetVolumeLimit(int64_t bytes) { m_volumeLimit = bytes; }
    int64_t VolumeLimit() const { return m_volumeLimit; }
    // Put in front of every volume name the writer creates (with its
    // trailing backslash), and the base of the names: volumes are
    // DIRECTORY + BASENAME + "01.ar", "02.ar", ...
    void SetDirectory(const char* directory) { m_directory = directory; }
    void SetBaseName(const char* baseName) { m_baseName = baseName; }
    // Number of the last volume the writer created (0 after ResetVolumes).
    int VolumeNumber() const { return m_volumeNumber; }
    // Bytes already written to the current output volume.
    int64_t VolumeUsed() const { return m_volumeUsed; }
    // Uncompressed bytes added since ResetVolumes.
    int64_t TotalIn() const { return m_totalIn; }
    // Stores SECONDS (local wall clock since 1970) as the time of every
    // member added from now on, instead of the source files' own times:
    // builds that must not depend on when their inputs were checked out.
    void SetMemberTime(uint32_t seconds) {
        m_memberTime = seconds;
        m_fixedMemberTime = true;
    }
    // Format of the volume being read.
    int ReadVersion() const { return m_readVersion; }
    // Output path of the last member the base OpenMemberOutput opened.
    const CString& MemberPath() const { return m_memberPath; }

protected:
    // The file the writer opens as volume NUMBER (1 for the first after
    // ResetVolumes); the base version gives DIRECTORY + BASENAME + "%02d.ar".
    // Called once the previous volume is closed, before the new one is
    // opened, so that a writer laying volumes out on disks of their own may
    // also set the new volume's limit here. An empty path ends the writing
    // with -52: the override has reported what kept it from a volume.
    virtual CString NewVolumePath(int number);

    // Takes COUNT expanded bytes of the current piece; the base version
    // writes them to the member's output file.
    virtual int WriteMemberData(const uint8_t* data, int count);

private:
    class Reader;
    class Expander;
    class Compressor;

    int ExtractPieces(const char* destDir, const char* volumePath, int* endOfArchive);
    int ExtractPiece(const CArchiveEntry& entry, const char* volumePath);
    int Progress(int64_t packedBytes);
    int StartVolume(CFile& volume);
    int AddPieces(CFile& source, CArchiveEntry& entry, CFile& volume, CByteBuffer& buffer);
    // Bytes of each volume the writer keeps for the end marker and the last
    // bytes of a stream cut at its room.
    int64_t TailReserve() const;

    // Reading.
    std::unique_ptr<Reader> m_reader;
    std::unique_ptr<Expander> m_expander;
    int m_readVersion = 0;
    int64_t m_dataPos = 0;
    int64_t m_volumeBytes = 0;
    ZrkArchiveProgress m_progress;
    CFile m_member;
    CString m_memberPath;

    // Writing.
    std::unique_ptr<Compressor> m_compressor;
    int m_writeVersion = 2;
    int m_volumeNumber = 0;
    int64_t m_volumeLimit = 0;
    int64_t m_volumeUsed = 0;
    CString m_directory;
    CString m_baseName;
    bool m_bufferFlushed = false;
    int64_t m_totalIn = 0;
    uint32_t m_memberTime = 0;
    bool m_fixedMemberTime = false;
};
