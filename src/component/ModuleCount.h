// ModuleCount: the module's count of live component objects, class-factory
// references and server locks. The module may be unloaded when it is 0.
// Changed with atomic operations: objects of several threads share it.
#pragma once

namespace tarvex {

class ModuleCount {
public:
    static void Lock();
    static void Unlock();
    static long Count();
};

}  // namespace tarvex
