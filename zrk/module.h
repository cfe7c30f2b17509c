// Framework modules: process-wide services registered during static
// initialisation and started and stopped around the application object.
#pragma once

class CModule {
public:
    virtual ~CModule() = default;
    virtual int Initialise() = 0;
    virtual int Terminate() = 0;
};

using ZrkModuleCreator = CModule* (*)();

enum : unsigned {
    ZRK_MODULE_STOP_EARLY = 1,  // stops before the application object is destroyed
};

// Appends a module to the process-wide list (a static object of this type
// registers at static-initialisation time).
struct CModuleRegistration {
    CModuleRegistration(const char* name, ZrkModuleCreator creator, unsigned flags = 0);
};

// Creates and initialises every registered module not yet created, in
// registration order; returns the first non-zero result.
int ZrkStartModules();
// One stop pass: terminates and destroys the created modules in sequence
// order; with EARLYONLY only those flagged ZRK_MODULE_STOP_EARLY.
int ZrkStopModules(bool earlyOnly);
// The created instance of a module, or nullptr.
CModule* ZrkFindModule(const char* name);
