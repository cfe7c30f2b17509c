// The process-wide list of framework modules.
#include "zrk/module.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "zrk/result.h"

namespace {

struct ModuleEntry {
    ZrkModuleCreator creator;
    const char* name;
    int sequence;      // registration order, taken when the module is created
    CModule* instance;
    int initResult;
    unsigned flags;
};

// A function-local list so that registrations from static initialisers of
// any translation unit find it constructed.
std::vector<ModuleEntry>& Modules() {
    static std::vector<ModuleEntry> modules;
    return modules;
}

int g_sequence = 0;

}  // namespace

CModuleRegistration::CModuleRegistration(const char* name, ZrkModuleCreator creator, unsigned flags) {
    Modules().push_back(ModuleEntry{creator, name, 0, nullptr, 0, flags});
}

int ZrkStartModules() {
    int result = 0;
    for (ModuleEntry& m : Modules()) {
        if (m.instance) continue;
        m.instance = m.creator();
        m.sequence = ++g_sequence;
        m.initResult = m.instance ? m.instance->Initialise() : ZRK_FAIL;
        if (result == 0) result = m.initResult;
    }
    return result;
}

int ZrkStopModules(bool earlyOnly) {
    std::vector<ModuleEntry*> order;
    for (ModuleEntry& m : Modules())
        if (m.instance && (!earlyOnly || (m.flags & ZRK_MODULE_STOP_EARLY))) order.push_back(&m);
    std::stable_sort(order.begin(), order.end(),
                     [](const ModuleEntry* a, const ModuleEntry* b) { return a->sequence < b->sequence; });
    int result = 0;
    for (ModuleEntry* m : order) {
        int r = m->instance->Terminate();
        if (result == 0) result = r;
        delete m->instance;
        m->instance = nullptr;
    }
    return result;
}

CModule* ZrkFindModule(const char* name) {
    for (ModuleEntry& m : Modules())
        if (std::strcmp(m.name, name) == 0) return m.instance;
    return nullptr;
}
