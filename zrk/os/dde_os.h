// The operating-system boundary of DDE conversations: the Dynamic Data
// Exchange Management Library (DDEML) on Win32 (dde_win32.cpp), and on POSIX
// a layer that has no DDE at all and fails every call (dde_posix.cpp).
//
// Everything travels as 8-bit ANSI text: string handles in the Windows ANSI
// code page, data in the clipboard text format with its terminating zero.
// One DDEML instance per process is used through this layer; the framework's
// DDE manager owns it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zrk/cstring.h"

namespace zrkos {

// A conversation handle (HCONV); 0 is none.
using DdeConv = uintptr_t;

// Transaction types as DDEML numbers them (XTYP_*).
enum DdeType : unsigned {
    DDE_ERROR = 0x8002,
    DDE_ADVDATA = 0x4010,
    DDE_ADVREQ = 0x2022,
    DDE_ADVSTART = 0x1030,
    DDE_ADVSTOP = 0x8040,
    DDE_EXECUTE = 0x4050,
    DDE_CONNECT = 0x1062,
    DDE_CONNECT_CONFIRM = 0x8072,
    DDE_XACT_COMPLETE = 0x8080,
    DDE_POKE = 0x4090,
    DDE_REGISTER = 0x80A2,
    DDE_REQUEST = 0x20B0,
    DDE_DISCONNECT = 0x80C2,
    DDE_UNREGISTER = 0x80D2,
    DDE_WILDCONNECT = 0x20E2,
};

// DDEML error numbers (DMLERR_*) that callers tell apart.
enum DdeError : unsigned {
    DDE_NO_ERROR = 0,
    DDE_ERR_DLL_NOT_INITIALIZED = 0x4003,
    DDE_ERR_INVALIDPARAMETER = 0x4006,
    DDE_ERR_NOTPROCESSED = 0x4009,
    DDE_ERR_NO_CONV_ESTABLISHED = 0x400A,
};

constexpr unsigned kDdeTextFormat = 1;  // CF_TEXT

// One transaction that reached the process's callback, its string handles
// and data already turned into texts.
struct DdeIncoming {
    unsigned type = 0;    // DdeType
    unsigned format = 0;  // clipboard format of the data or of the request
    DdeConv conv = 0;
    CString topic;        // first string handle (the topic for most types)
    CString item;         // second string handle (item, or service for connects)
    CString data;         // the data up to its first zero byte
    bool hasData = false;
};

// ---- the transaction forms (portable: the same decisions on every platform)

// What the callback hands back to the library for a transaction.
enum DdeAnswer : unsigned {
    DDE_ANSWER_NONE,           // nothing (no data handle)
    DDE_ANSWER_TRUE,           // connect, advise start: accepted
    DDE_ANSWER_FALSE,          //   refused
    DDE_ANSWER_ACK,            // execute, poke, advise data: acknowledged
    DDE_ANSWER_NOT_PROCESSED,  //   refused
    DDE_ANSWER_TEXT,           // request, advise request: the reply as text data
};

// Whether a transaction of TYPE reaches the handler: a connection to any
// service (wildcard) is never offered, since a server of this framework
// answers only for the names it registered.
bool DdeOffered(unsigned type);
// Whether the data that comes with TYPE is handed to the handler.
bool DdeCarriesData(unsigned type);
// The answer to a transaction of TYPE asking for FORMAT, as the handler
// HANDLED it or not. Requests are answered in text format only.
DdeAnswer DdeAnswerFor(unsigned type, unsigned format, bool handled);
// The text of received data: its bytes up to the first zero byte (a sender
// may pad its data beyond the terminator).
CString DdeDataText(const char* bytes, size_t size);

// Receives every incoming transaction. 0 means handled: a connection is
// accepted, an execute, poke or advise is acknowledged, a request is
// answered with *REPLY (sent as text with its terminating zero). Anything
// else means not handled.
using DdeHandler = int (*)(const DdeIncoming& in, CString* reply);

// Whether this platform has DDE at all.
bool DdeAvailable();
// Initialises DDEML as a standard application whose callback hands every
// transaction to HANDLER. 0 and the instance identifier in *INSTANCE, or
// the DDEML error number.
unsigned DdeStart(DdeHandler handler, uint32_t* instance);
// Uninitialises the instance; false when DDEML refuses.
bool DdeEnd(uint32_t instance);
// The instance's last error (reading it resets it).
unsigned DdeLastError(uint32_t instance);
// Registers or unregisters a service name.
bool DdeNameService(uint32_t instance, const char* service, bool registering);
// Connects to SERVICE and TOPIC (both string handles are freed before it
// returns); the conversation, or 0.
DdeConv DdeConnectTo(uint32_t instance, const char* service, const char* topic);
bool DdeDisconnectConv(DdeConv conv);
// Whether the conversation is still connected (a server that ended it may
// not have said so yet).
bool DdeConvAlive(DdeConv conv);
// Sends COMMAND with its terminating zero as an execute transaction.
bool DdeExecuteText(uint32_t instance, DdeConv conv, const char* command, unsigned timeoutMs);
// Requests ITEM in text format; the data up to its first zero in *OUT.
bool DdeRequestText(uint32_t instance, DdeConv conv, const char* item, unsigned timeoutMs, CString* out);
// Waits MS milliseconds while the thread's window messages (and with them
// DDE traffic) keep flowing.
void DdeWait(unsigned ms);

}  // namespace zrkos
