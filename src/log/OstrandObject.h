// OstrandObject: the library's common base class. Each object gets a serial
// number from a process-wide counter that every new object increments.
#pragma once

#include <cstdint>

namespace tarvex {

class OstrandObject {
public:
    OstrandObject();
    virtual ~OstrandObject();
    OstrandObject(const OstrandObject&) = delete;
    OstrandObject& operator=(const OstrandObject&) = delete;

    uint32_t serialNumber() const { return serial_; }

private:
    uint32_t serial_;
};

}  // namespace tarvex
