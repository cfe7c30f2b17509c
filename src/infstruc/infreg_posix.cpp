// Registry lookups where there is no registry: nothing is ever found.
#include "src/infstruc/infreg.h"

bool InfRegistryAvailable() { return false; }

int InfRegistryRead(const char* /*keyPath*/, const char* /*valueName*/, CString* value,
                    bool /*keyMustOpen*/) {
    value->Empty();
    return 0;
}

int InfRegistryDetect(const char* /*keyPath*/, const char* /*valueName*/, int* found, CString* value) {
    *found = 0;
    value->Empty();
    return 0;
}
