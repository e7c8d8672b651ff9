// The automation layer where the platform does not supply one: BSTR
// (Bstr.cpp), VARIANT (Variant.cpp) and SAFEARRAY (SafeArray.cpp) with the
// layouts and behaviour script hosts rely on, and the interface identifiers.
#include "tarvex/automation.h"

extern "C" const IID IID_NULL = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};
extern "C" const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                                     {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern "C" const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000,
                                      {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern "C" const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000,
                                          {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern "C" const IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B,
                                              {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xC7, 0x0E}};
