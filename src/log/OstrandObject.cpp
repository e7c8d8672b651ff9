#include "log/OstrandObject.h"

#include <atomic>

namespace tarvex {

namespace {
std::atomic<uint32_t> g_nextSerial{0};
}

OstrandObject::OstrandObject() : serial_(g_nextSerial.fetch_add(1, std::memory_order_relaxed) + 1) {}

OstrandObject::~OstrandObject() = default;

}  // namespace tarvex
