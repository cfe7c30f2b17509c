// Compiled resource files (.res) and message texts.
//
// Each program keeps its message texts in an external resource file beside
// the program. Both layouts of compiled resources are read: the 32-bit one
// (entries with a data size, a header size and UTF-16 names, starting with an
// empty entry) and the 16-bit one (0xFF-marked numeric type and name).
#pragma once

#include <cstdint>
#include <vector>

#include "zrk/cstring.h"

class CResourceImage {
public:
    static constexpr long kMaxSize = 999999;

    // Reads the whole file. -52 when it cannot be read or is too large; a
    // file of size 0 is accepted as empty.
    int Load(const char* path);
    // Takes the bytes of an image already in memory (tests, fuzzing).
    void Assign(const void* data, size_t size);
    void Release();

    bool IsLoaded() const { return m_loaded; }
    bool Is32Bit() const { return m_is32; }
    size_t Size() const { return m_data.size(); }

    // The data of the resource of numeric TYPE and NAME; false when absent.
    bool Find(int type, int name, const uint8_t** data, uint32_t* size) const;
    // The text of string resource ID (the low byte of each UTF-16 character
    // in the 32-bit layout); false when absent.
    bool StringText(int id, CString* text) const;

private:
    void DetectLayout();
    std::vector<uint8_t> m_data;
    bool m_loaded = false;
    bool m_is32 = false;
};

// The process's message source: the loaded resource image of the program,
// else a table linked into the program (tools and tests), else the
// program's own string table.
CResourceImage& ZrkResourceImage();

// Console numbering: the console program's resource ids for framework
// messages are lower than the interactive program's (by 320 for the DDE
// messages, 64 for the others); the installer's own messages, below 400,
// have the same ids in both.
void ZrkSetConsoleNumbering(bool on);
bool ZrkConsoleNumbering();
int ZrkConsoleMessageId(int id);

// Loads the resource file beside the program (module directory, base name,
// ".res"); on failure shows "ZRK: Unable to load resource file %s !" and
// returns -52. A missing file is accepted when texts are linked into the
// program or its own string table answers the probe id.
int ZrkLoadProgramResources(const char* modulePath);
void ZrkReleaseProgramResources();

struct ZrkMessageEntry;
// The table of texts linked into the program, or nullptr.
const ZrkMessageEntry* ZrkBuiltinMessages(int* count);

// Looks a message up without reporting a missing one.
bool ZrkFindMessageText(int msgId, CString* text);
