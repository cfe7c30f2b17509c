// Archive volumes: reading and writing (see archive.h for the layout).
#include "zrk/archive.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "zrk/comp.h"
#include "zrk/ctimeex.h"
#include "zrk/os/os.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

constexpr char kMagic1[] = "JAA1";
constexpr char kMagic2[] = "JAA2";
constexpr int kMagicSize = 4;
// Fixed part of a header after the name's zero byte, CRC included.
constexpr int kFixedSize1 = 25;
constexpr int kFixedSize2 = 29;
// A stream cut at its room ends a few bytes past it: the pending string,
// perhaps a widen code, the end code and the last partial word (at most 9
// bytes, one more for an odd room). The writer keeps this much back.
constexpr int64_t kStreamOvershoot = 16;
// A piece's packed size must fit its 32-bit field, whatever the volume
// limit.
constexpr int64_t kMaxRoom = 0xFFFF0000LL;

bool IsSep(char c) { return c == '\\' || c == '/'; }

uint32_t Dword(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// Reports a failed close of a file (the file layer closes without a
// message).
int CloseReported(CFile& file) {
    if (!file.IsOpen()) return 0;
    const CString path = file.Path();
    if (file.Close() == 0) return 0;
    const int e = zrkos::LastErrno();
    return ZrkErrorId(ZRK_FAIL, MSG_CLOSE_FAILED, path.c_str(), e, zrkos::ErrnoText(e).c_str());
}

// Damaged data (ZRK_BADDATA, left unreported where it was found) means a
// damaged volume, and that is reported here, once. Any other failure was
// reported where it arose (a read, a write, memory) and passes unchanged.
int Damaged(int r, const char* volumePath) {
    return r == ZRK_BADDATA ? ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_DAMAGED, volumePath) : r;
}

// Whether the N characters at TEXT are WORD, without regard to case.
bool SameNoCase(const char* text, size_t n, const char* word) {
    if (std::strlen(word) != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(word[i])) return false;
    return true;
}

// Device names Windows keeps for itself in every directory, with or without
// an extension ("nul.txt" is the device too). The digits of COM and LPT
// include 0 and the superscripts 1, 2 and 3 of the ANSI code page.
bool IsDeviceName(const char* part, size_t length) {
    size_t n = 0;
    while (n < length && part[n] != '.') ++n;
    while (n > 0 && part[n - 1] == ' ') --n;
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kDevices)
        if (SameNoCase(part, n, device)) return true;
    if (n != 4 || !(SameNoCase(part, 3, "COM") || SameNoCase(part, 3, "LPT"))) return false;
    const unsigned char digit = static_cast<unsigned char>(part[3]);
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// One directory or file name of a member name.
bool IsValidComponent(const char* part, size_t length) {
    if (length == 0) return false;  // a doubled or trailing separator
    // Windows drops a trailing dot or blank, so the name would not be the
    // one stored; this also excludes "." and "..".
    if (part[length - 1] == '.' || part[length - 1] == ' ') return false;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(part[i]);
        if (c < 32 || std::strchr("<>\"|?*:", c) != nullptr) return false;
    }
    return !IsDeviceName(part, length);
}

}  // namespace

// ===========================================================================
// The piece header
// ===========================================================================

int CArchiveEntry::Serialize(CMemBuf& out, int version) const {
    out.Clear();
    int r = out.AppendText(name);
    ZRK_KEEP(r, out.AppendByte(kind));
    ZRK_KEEP(r, out.AppendDword(fileSize));
    ZRK_KEEP(r, out.AppendDword(pieceSize));
    ZRK_KEEP(r, out.AppendDword(pieceOffset));
    ZRK_KEEP(r, out.AppendDword(packedSize));
    ZRK_KEEP(r, out.AppendDword(dataCrc));
    if (version >= 2) ZRK_KEEP(r, out.AppendDword(fileTime));
    return r;
}

bool CArchive::IsValidMemberName(const char* name) {
    if (name == nullptr || *name == 0) return false;
    const size_t length = std::strlen(name);
    if (length > static_cast<size_t>(kMaxNameLength)) return false;
    // Absolute: a leading separator, or a drive (any colon is refused
    // below, which also keeps out alternate data streams).
    if (IsSep(name[0])) return false;
    const char* part = name;
    for (;;) {
        const char* end = part;
        while (*end && !IsSep(*end)) ++end;
        if (!IsValidComponent(part, static_cast<size_t>(end - part))) return false;
        if (*end == 0) return true;
        part = end + 1;
    }
}

// ===========================================================================
// Reading
// ===========================================================================

// The volume being read, through one buffer of kVolumeBuffer bytes: headers
// are read from it a few bytes at a time, and the expander takes its chunks
// straight out of it.
class CArchive::Reader {
public:
    Reader() = default;
    ~Reader() { ZrkFree(m_buffer); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    int Open(const char* path) {
        if (m_buffer == nullptr) {
            m_buffer = static_cast<uint8_t*>(ZrkAlloc(kVolumeBuffer));
            if (m_buffer == nullptr) return ZRK_NOMEM;
        }
        m_start = 0;
        m_length = m_pos = 0;
        return m_file.Open(path, "r");
    }
    int Close() { return CloseReported(m_file); }
    // Closes after a failure that has been reported already.
    void Abandon() { m_file.Close(); }
    bool IsOpen() const { return m_file.IsOpen(); }

    // Offset in the volume of the next byte to read.
    int64_t Position() const { return m_start + m_pos; }

    // Exactly N bytes; ZRK_BADDATA (no message) when the volume ends first.
    int Read(void* out, int n) {
        uint8_t* dest = static_cast<uint8_t*>(out);
        while (n > 0) {
            if (m_pos == m_length) {
                m_start += m_length;
                m_length = m_pos = 0;
                ZRK_TRY(Fill());
                if (m_length == 0) return ZRK_BADDATA;
            }
            const int k = std::min(n, m_length - m_pos);
            std::memcpy(dest, m_buffer + m_pos, static_cast<size_t>(k));
            dest += k;
            m_pos += k;
            n -= k;
        }
        return 0;
    }

    // Up to WANT bytes (at most zrklzw::kInputChunk) at *DATA, valid until
    // the next call; fewer only at the end of the volume.
    int Chunk(int want, const uint8_t** data, int* got) {
        if (m_length - m_pos < want) {
            // Keep the unread rest and fill the buffer behind it.
            const int keep = m_length - m_pos;
            std::memmove(m_buffer, m_buffer + m_pos, static_cast<size_t>(keep));
            m_start += m_pos;
            m_pos = 0;
            m_length = keep;
            ZRK_TRY(Fill());
        }
        *got = std::min(want, m_length - m_pos);
        *data = m_buffer + m_pos;
        m_pos += *got;
        return 0;
    }

    int Seek(int64_t pos) {
        if (pos >= m_start && pos <= m_start + m_length) {
            m_pos = static_cast<int>(pos - m_start);
            return 0;
        }
        ZRK_TRY(m_file.Seek(pos, 0));
        m_start = pos;
        m_length = m_pos = 0;
        return 0;
    }

private:
    // Reads into the free end of the buffer until it is full or the file
    // ends.
    int Fill() {
        while (m_length < kVolumeBuffer) {
            long got = 0;
            ZRK_TRY(m_file.Read(m_buffer + m_length, kVolumeBuffer - m_length, &got));
            if (got <= 0) break;
            m_length += static_cast<int>(got);
        }
        return 0;
    }

    CFile m_file;
    uint8_t* m_buffer = nullptr;
    int64_t m_start = 0;  // volume offset of m_buffer[0]
    int m_length = 0;     // bytes in the buffer
    int m_pos = 0;        // next byte to read
};

// Expands one piece from the volume: reads no more than the piece's packed
// bytes and refuses to produce more than the bytes its header announces.
class CArchive::Expander : public CLzwExpander {
public:
    explicit Expander(CArchive& archive) : m_archive(archive) {}

    void StartPiece(const CArchiveEntry& entry) {
        m_packedLeft = entry.packedSize;
        m_expandedLeft = entry.pieceSize;
    }
    // Bytes the header announced that the stream did not produce.
    int64_t ExpandedLeft() const { return m_expandedLeft; }

protected:
    // The volume is open already and the member's output belongs to the
    // archive.
    int Open() override { return 0; }
    int Close() override { return 0; }

    int ReadInput(int* count, const uint8_t** chunk) override {
        *count = 0;
        *chunk = nullptr;
        if (m_packedLeft <= 0) return 0;  // the stream did not end in its piece
        const int want = static_cast<int>(std::min<int64_t>(m_packedLeft, zrklzw::kInputChunk));
        ZRK_TRY(m_archive.m_reader->Chunk(want, chunk, count));
        m_packedLeft -= *count;
        return 0;
    }

    int WriteOutput(const uint8_t* data, int count) override {
        if (count > m_expandedLeft) return ZRK_BADDATA;
        m_expandedLeft -= count;
        return m_archive.WriteMemberData(data, count);
    }

private:
    CArchive& m_archive;
    int64_t m_packedLeft = 0;
    int64_t m_expandedLeft = 0;
};

CArchive::CArchive() = default;

CArchive::~CArchive() {
    if (m_member.IsOpen()) m_member.Close();
}

int CArchive::ExtractVolume(const char* destDir, const char* volumePath, int* endOfArchive,
                            const ZrkArchiveProgress& progress) {
    int endFlag = 0;
    if (endOfArchive == nullptr) endOfArchive = &endFlag;
    *endOfArchive = 0;
    const CString volume = volumePath ? volumePath : "";
    if (!CFile::Exists(volume)) return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_NO_FILE, volume.c_str());

    m_expander = std::make_unique<Expander>(*this);
    m_reader = std::make_unique<Reader>();
    m_dataPos = 0;
    m_volumeBytes = std::max<int64_t>(CFile::FileSize64(volume), 0);
    int r = 0;
    if (progress) {
        m_progress = progress;
        m_expander->SetProgress([this](int64_t packedBytes) { return Progress(packedBytes); });
        if (m_volumeBytes < 1) r = ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_FILE_SIZE_TIME, volume.c_str());
    }

    // An empty destination is the current directory, never the root.
    CString dest = destDir && *destDir ? destDir : ".";
    if (!IsSep(dest[dest.Length() - 1])) dest += '\\';

    if (r == 0) r = ExtractPieces(dest, volume, endOfArchive);

    if (m_member.IsOpen()) m_member.Close();
    m_reader->Abandon();
    m_reader.reset();
    m_expander.reset();
    m_progress = nullptr;
    return r;
}

int CArchive::ExtractPieces(const char* destDir, const char* volumePath, int* endOfArchive) {
    ZRK_TRY(m_reader->Open(volumePath));
    char magic[kMagicSize];
    ZRK_TRY(Damaged(m_reader->Read(magic, kMagicSize), volumePath));
    if (std::memcmp(magic, kMagic1, kMagicSize) == 0)
        m_readVersion = 1;
    else if (std::memcmp(magic, kMagic2, kMagicSize) == 0)
        m_readVersion = 2;
    else
        return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_NOT_VOLUME, volumePath);

    for (;;) {
        CArchiveEntry entry;
        int r = Damaged(ReadEntry(entry), volumePath);
        if (r != 0) return r;
        if (entry.IsEndMarker()) {
            *endOfArchive = entry.IsEndOfArchive() ? 1 : 0;
            return m_reader->Close();
        }

        r = OpenMemberOutput(entry, destDir);
        if (r != 0 && r != ZRK_SKIP) return r;
        m_dataPos = m_reader->Position();
        if (r == 0) {
            r = ExtractPiece(entry, volumePath);
            // A piece skipped during its expansion is still closed (and its
            // partial output deleted); the extraction goes on.
            const int closed = CloseMemberOutput(entry, r);
            if (r == ZRK_SKIP) r = 0;
            if (r != 0) return r;
            if (closed != 0) return closed;
        }
        ZRK_TRY(m_reader->Seek(m_dataPos + entry.packedSize));
    }
}

int CArchive::ExtractPiece(const CArchiveEntry& entry, const char* volumePath) {
    m_expander->StartPiece(entry);
    // A status of the progress callback is the caller's own (2: the user
    // cancelled) and passes without a message, as does every failure the
    // file layer or the allocator reported.
    int r = Damaged(m_expander->Run(), volumePath);
    // The stream must give exactly the announced bytes with their CRC.
    if (r == 0 && (m_expander->Crc() != entry.dataCrc || m_expander->ExpandedLeft() != 0))
        r = ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_CHECKSUM, volumePath);
    return r;
}

int CArchive::Progress(int64_t packedBytes) {
    if (!m_progress || m_volumeBytes <= 0) return 0;
    const double percent = static_cast<double>(m_dataPos + packedBytes) / static_cast<double>(m_volumeBytes) * 100.0;
    return m_progress(static_cast<int>(percent));
}

int CArchive::ReadEntry(CArchiveEntry& entry) {
    entry = CArchiveEntry();
    if (!m_reader || !m_reader->IsOpen()) return ZRK_INTERNAL_ERROR();

    // The name, up to its zero byte; never longer than a member name may be.
    char name[kMaxNameLength + 1];
    int length = 0;
    for (;;) {
        uint8_t c = 0;
        ZRK_TRY(m_reader->Read(&c, 1));
        if (c == 0) break;
        if (length == kMaxNameLength) return ZRK_BADDATA;
        name[length++] = static_cast<char>(c);
    }
    if (length == 0) return ZRK_BADDATA;
    name[length] = 0;
    entry.name.Assign(name, length);

    uint8_t fixed[kFixedSize2];
    const int fixedSize = m_readVersion == 1 ? kFixedSize1 : kFixedSize2;
    ZRK_TRY(m_reader->Read(fixed, fixedSize));
    const uint8_t* p = fixed;
    entry.kind = *p++;
    entry.fileSize = Dword(p);
    entry.pieceSize = Dword(p + 4);
    entry.pieceOffset = Dword(p + 8);
    entry.packedSize = Dword(p + 12);
    entry.dataCrc = Dword(p + 16);
    p += 20;
    if (m_readVersion > 1) {
        entry.fileTime = Dword(p);
        p += 4;
    }
    entry.headerCrc = Dword(p);

    // The CRC covers the fields exactly as stored: the name with its zero
    // byte and the fixed part before the CRC.
    uint32_t crc = ZrkCrc32Run(name, static_cast<size_t>(length) + 1, 0xFFFFFFFFu);
    crc = ~ZrkCrc32Run(fixed, static_cast<size_t>(fixedSize - 4), crc);
    if (crc != entry.headerCrc) return ZRK_BADDATA;

    if (entry.IsEndMarker()) {
        const bool blank = entry.kind == 0 && entry.fileSize == 0 && entry.pieceSize == 0 && entry.pieceOffset == 0 &&
                           entry.packedSize == 0 && entry.dataCrc == 0 && entry.fileTime == 0;
        return blank ? 0 : ZRK_BADDATA;
    }
    if (!IsValidMemberName(entry.name)) return ZRK_BADDATA;
    // The piece lies inside its member, and its data inside the volume.
    if (uint64_t{entry.pieceOffset} + entry.pieceSize > entry.fileSize) return ZRK_BADDATA;
    if (int64_t{entry.packedSize} > m_volumeBytes - m_reader->Position()) return ZRK_BADDATA;
    return 0;
}

int CArchive::OpenMemberOutput(const CArchiveEntry& entry, const char* destDir) {
    m_memberPath = CString(destDir ? destDir : "") + entry.name;
    const char* path = m_memberPath.c_str();
    if (entry.pieceOffset != 0) {
        // A continuation: the earlier pieces must be there, exactly.
        if (!CFile::IsFile(path)) return ZrkErrorId(ZRK_PRIVILEGE, MSG_ARCHIVE_NO_FIRST_PART, path);
        if (CFile::FileSize64(path) != int64_t{entry.pieceOffset})
            return ZrkErrorId(ZRK_PRIVILEGE, MSG_ARCHIVE_SIZE_MISMATCH, path, static_cast<unsigned>(entry.pieceOffset));
        return m_member.Open(path, "a");
    }
    ZRK_TRY(CFile::MakeAllDirs(path));
    return m_member.Open(path, "w");
}

int CArchive::WriteMemberData(const uint8_t* data, int count) { return m_member.Write(data, count); }

int CArchive::CloseMemberOutput(const CArchiveEntry& entry, int result) {
    const char* path = m_memberPath.c_str();
    const int closed = CloseReported(m_member);
    int r = closed;
    if (r == 0 && result == 0 && entry.fileTime != 0) {
        CTimeEx when;
        when.FromArchiveSeconds(entry.fileTime);
        if (CFile::SetLastWriteTime(path, when) != 0) r = ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_FILE_SIZE_TIME, path);
    }
    // A member whose piece failed does not survive, earlier pieces included;
    // nor does one whose close failed, as the system may have lost data it
    // had still to write.
    if ((result != 0 || closed != 0) && CFile::Exists(path)) ZRK_KEEP(r, CFile::RemoveFile(path));
    return r;
}

// ===========================================================================
// Writing
// ===========================================================================

// Compresses one piece of a source file into the header buffer, which goes
// to the volume whenever it holds kVolumeBuffer bytes.
class CArchive::Compressor : public CLzwCompressor {
public:
    explicit Compressor(CArchive& archive) : m_archive(archive) {}
    ~Compressor() override { ZrkFree(m_chunk); }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    void StartPiece(CFile* source, int64_t sourceLeft, CFile* volume, CByteBuffer* buffer) {
        m_source = source;
        m_sourceLeft = sourceLeft;
        m_volume = volume;
        m_buffer = buffer;
    }

protected:
    int Open() override { return 0; }
    int Close() override { return 0; }

    // Never more than the size the member was given, even if the file grew.
    int ReadInput(int* count, const uint8_t** chunk) override {
        *count = 0;
        *chunk = nullptr;
        if (m_chunk == nullptr) {
            m_chunk = static_cast<uint8_t*>(ZrkAlloc(zrklzw::kInputChunk));
            if (m_chunk == nullptr) return ZRK_NOMEM;
        }
        const long want = static_cast<long>(std::min<int64_t>(m_sourceLeft, zrklzw::kInputChunk));
        long total = 0;
        while (total < want) {
            long got = 0;
            ZRK_TRY(m_source->Read(m_chunk + total, want - total, &got));
            if (got <= 0) break;
            total += got;
        }
        m_sourceLeft -= total;
        *count = static_cast<int>(total);
        *chunk = m_chunk;
        return 0;
    }
    bool AtEnd() override { return m_sourceLeft <= 0; }

    int WriteOutput(const uint8_t* data, int count) override {
        ZRK_TRY(m_buffer->Append(data, count));
        if (m_buffer->Size() >= kVolumeBuffer) {
            // The reserved header space goes out too; the header is written
            // into it when the piece is complete.
            ZRK_TRY(m_volume->Write(m_buffer->Data(), m_buffer->Size()));
            m_buffer->Clear();
            m_archive.m_bufferFlushed = true;
        }
        return 0;
    }

private:
    CArchive& m_archive;
    CFile* m_source = nullptr;
    int64_t m_sourceLeft = 0;
    CFile* m_volume = nullptr;
    CByteBuffer* m_buffer = nullptr;
    uint8_t* m_chunk = nullptr;
};

int64_t CArchive::TailReserve() const {
    return CArchiveEntry::HeaderSize(static_cast<int>(std::strlen(CArchiveEntry::kEndArchiveName)), m_writeVersion) +
           kStreamOvershoot;
}

int CArchive::ResetVolumes() {
    m_volumeNumber = 0;
    m_volumeUsed = m_volumeLimit;
    m_totalIn = 0;
    if (m_volumeLimit < kMinVolumeLimit) return ZRK_INTERNAL_ERROR();
    return 0;
}

int CArchive::StartVolume(CFile& volume) {
    ++m_volumeNumber;
    if (volume.IsOpen()) ZRK_TRY(WriteEndMarker(volume, false));
    const CString name = NewVolumePath(m_volumeNumber);
    if (name.IsEmpty()) return ZRK_FAIL;  // the override has reported why
    ZRK_TRY(volume.Open(name, "w"));
    m_volumeUsed = 0;
    ZRK_TRY(volume.Write(m_writeVersion == 1 ? kMagic1 : kMagic2, kMagicSize));
    m_volumeUsed = kMagicSize;
    return 0;
}

CString CArchive::NewVolumePath(int number) {
    return m_directory + CString::Printf("%s%02d.ar", m_baseName.c_str(), number);
}

int CArchive::PrepareVolume(const char* pieceName, int64_t* room, CFile& volume) {
    *room = 0;
    const int64_t tail = TailReserve();
    if (m_volumeLimit - m_volumeUsed - tail <= kNewVolumeMargin || !volume.IsOpen()) ZRK_TRY(StartVolume(volume));
    const int nameLength = static_cast<int>(std::strlen(pieceName ? pieceName : ""));
    *room = m_volumeLimit - CArchiveEntry::HeaderSize(nameLength, m_writeVersion) - m_volumeUsed - tail;
    *room = std::min(*room, kMaxRoom);
    // Below the smallest volume limit (ResetVolumes refuses it) there might
    // be no room at all, and a room of 0 would mean no limit.
    if (*room < 2) return ZRK_INTERNAL_ERROR();
    return 0;
}

int CArchive::WriteEndMarker(CFile& volume, bool endOfArchive) {
    if (!volume.IsOpen()) ZRK_TRY(StartVolume(volume));
    CArchiveEntry marker;
    marker.name = endOfArchive ? CArchiveEntry::kEndArchiveName : CArchiveEntry::kEndName;
    CMemBuf bytes;
    int r = marker.Serialize(bytes, m_writeVersion);
    ZRK_KEEP(r, bytes.AppendDword(bytes.Crc32()));
    if (r == 0) r = volume.Write(bytes.Data(), bytes.Size());
    m_volumeUsed += bytes.Size();
    ZRK_KEEP(r, CloseReported(volume));
    return r;
}

int CArchive::AddFile(CFile& source, const char* name, CFile& volume, CByteBuffer& buffer) {
    if (!IsValidMemberName(name)) return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_BAD_NAME, name ? name : "");
    const CString path = source.Path();
    const bool openHere = !source.IsOpen();
    if (openHere && !CFile::IsFile(path)) return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_NO_FILE, path.c_str());
    const int64_t size = CFile::FileSize64(path);
    if (size < 0 || size > int64_t{0xFFFFFFFF}) return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_FILE_SIZE_TIME, path.c_str());
    CTimeEx when;
    const int timeResult = CFile::LastWriteTime(path, &when);
    if (timeResult != 0) return ZrkErrorId(timeResult, MSG_ARCHIVE_FILE_SIZE_TIME, path.c_str());

    CArchiveEntry entry;
    entry.name = name;
    entry.kind = 1;
    entry.fileSize = static_cast<uint32_t>(size);
    entry.fileTime = m_fixedMemberTime ? m_memberTime : when.ToArchiveSeconds();
    entry.pieceOffset = 0;
    if (openHere) ZRK_TRY(source.Open(path, "r"));
    int r = AddPieces(source, entry, volume, buffer);
    if (openHere) ZRK_KEEP(r, CloseReported(source));
    return r;
}

int CArchive::AddPieces(CFile& source, CArchiveEntry& entry, CFile& volume, CByteBuffer& buffer) {
    if (!m_compressor) m_compressor = std::make_unique<Compressor>(*this);
    const int headerSize = CArchiveEntry::HeaderSize(entry.name.Length(), m_writeVersion);
    // Room for a full buffer and one more compressor block behind it.
    const int capacity = headerSize + kVolumeBuffer + zrklzw::kCompressorBlock;
    if (buffer.Capacity() < capacity) ZRK_TRY(buffer.Reserve(capacity));

    do {
        int64_t room = 0;
        ZRK_TRY(PrepareVolume(entry.name, &room, volume));
        int64_t headerPos = 0;
        ZRK_TRY(volume.Seek(0, 1, &headerPos));
        buffer.Clear();
        ZRK_TRY(buffer.SetSize(headerSize));
        m_bufferFlushed = false;
        ZRK_TRY(source.Seek(entry.pieceOffset));
        m_compressor->StartPiece(&source, int64_t{entry.fileSize} - entry.pieceOffset, &volume, &buffer);
        m_compressor->SetOutputLimit(room);
        ZRK_TRY(m_compressor->Run());

        entry.kind = 1;
        entry.pieceSize = static_cast<uint32_t>(m_compressor->TotalIn());
        entry.packedSize = static_cast<uint32_t>(m_compressor->TotalOut());
        entry.dataCrc = m_compressor->Crc();
        // A file that shrank while it was read would never be complete.
        if (entry.pieceSize == 0 && entry.pieceOffset < entry.fileSize)
            return ZrkErrorId(ZRK_FAIL, MSG_ARCHIVE_FILE_SIZE_TIME, source.Path().c_str());
        m_totalIn += entry.pieceSize;

        CMemBuf header;
        int r = entry.Serialize(header, m_writeVersion);
        ZRK_KEEP(r, header.AppendDword(header.Crc32()));
        ZRK_TRY(r);
        if (header.Size() != headerSize) return ZRK_INTERNAL_ERROR();
        if (m_bufferFlushed) {
            ZRK_TRY(volume.Write(buffer.Data(), buffer.Size()));
            ZRK_TRY(volume.Seek(headerPos, 0));
            ZRK_TRY(volume.Write(header.Data(), headerSize));
            ZRK_TRY(volume.Seek(0, 2));
        } else {
            std::memcpy(buffer.Data(), header.Data(), static_cast<size_t>(headerSize));
            ZRK_TRY(volume.Write(buffer.Data(), buffer.Size()));
        }
        m_volumeUsed += int64_t{entry.packedSize} + headerSize;
        entry.pieceOffset += entry.pieceSize;
    } while (entry.pieceOffset < entry.fileSize);
    return 0;
}
