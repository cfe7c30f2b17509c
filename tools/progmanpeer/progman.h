// The state of a Program Manager as its DDE interface shows it: groups of
// items, changed by execute commands and read back by requests.
//
// Execute commands follow the Program Manager's syntax: one or more
// "[Command(arg,arg,...)]" in a row; an argument in double quotes may hold
// commas, brackets and parentheses, and "" inside quotes is one quote.
// Command names and group and item names compare without regard to case.
//
//   CreateGroup(name[,groupFile])   creates the group (or selects it)
//   ShowGroup(name[,showCommand])   selects an existing group
//   DeleteGroup(name)               removes an existing group
//   AddItem(command[,title[,iconPath[,iconIndex[,x,y[,directory[,hotKey[,minimize]]]]]]])
//                                   adds an item to the selected group
//   DeleteItem(title)               removes an item of the selected group
//   ReplaceItem(title)              removes it; the next AddItem takes its place
//   Reload([name])                  accepted, changes nothing
//   ExitProgman([save])             asks the server to end
//
// Requests: "Groups" gives the group names, one line each; a group's name
// gives a first line "name",groupFile,itemCount,showCommand and one line per
// item "title","command",directory,iconPath,x,y,iconIndex,hotKey,minimize.
// Title, command and group name are always quoted, the other texts only
// when they hold a comma or a quote; every line ends with CR LF.
#pragma once

#include <vector>

#include "zrk/cstring.h"

struct CProgmanItem {
    CString title, command, directory, iconPath;
    long iconIndex = 0, x = 0, y = 0, hotKey = 0;
    bool minimize = false;
};

struct CProgmanGroup {
    CString name, file;
    long showCommand = 1;
    std::vector<CProgmanItem> items;
};

// One parsed command: its name and arguments (quotes removed).
struct CProgmanCommand {
    CString name;
    std::vector<CString> args;
};

// Splits TEXT into its commands; false when the text is not a well-formed
// command string.
bool ParseProgmanCommands(const char* text, std::vector<CProgmanCommand>* out);

class CProgmanState {
public:
    // Runs the commands of TEXT in order and stops at the first that fails.
    // True when all of them ran.
    bool Execute(const char* text);
    // The answer to a request for ITEM; false when there is none.
    bool Request(const char* item, CString* out) const;
    bool ExitRequested() const { return m_exit; }
    const std::vector<CProgmanGroup>& Groups() const { return m_groups; }

private:
    bool Run(const CProgmanCommand& command);
    int FindGroup(const char* name) const;
    CProgmanGroup* Current();

    std::vector<CProgmanGroup> m_groups;
    CString m_current;     // name of the selected group
    int m_replaceAt = -1;  // where the next AddItem goes after ReplaceItem
    bool m_exit = false;
};
