#include "component/ModuleCount.h"

#include <atomic>

namespace tarvex {
namespace {
std::atomic<long> gModuleCount{0};
}  // namespace

void ModuleCount::Lock() { gModuleCount.fetch_add(1, std::memory_order_relaxed); }

void ModuleCount::Unlock() { gModuleCount.fetch_sub(1, std::memory_order_acq_rel); }

long ModuleCount::Count() { return gModuleCount.load(std::memory_order_acquire); }

}  // namespace tarvex
