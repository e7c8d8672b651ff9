// A VARIANT of a given type, its value still to set.
#pragma once

#include "tarvex/automation.h"

namespace tarvex_test {

inline VARIANT variantOf(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}

}  // namespace tarvex_test
