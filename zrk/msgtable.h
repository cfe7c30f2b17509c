// The table of message texts linked into native tools and tests.
//
// The build generates it from res/messages.txt, the same source as the
// programs' resource files, so a tool or a test sees exactly the texts the
// programs ship. The generated translation unit registers the table from a
// static initialiser; programs that load a resource file do not link it.
#pragma once

struct ZrkMessageEntry {
    int id;            // the interactive program's message id
    int shift;         // how much lower the console program's id is (64 or 320)
    const char* sig;   // printf argument kinds, one letter each (s d l u x f c);
                       // "" for a text without arguments
    const char* text;  // the text, escapes already resolved
};

// Installs TABLE (COUNT entries, static storage) as the process's built-in
// message texts.
void ZrkSetBuiltinMessages(const ZrkMessageEntry* table, int count);
