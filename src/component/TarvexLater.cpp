// CTarvex members whose work is not built yet: HTTP. Each returns its failure
// value and records "Not implemented" in its log context.
#include "component/CTarvex.h"

namespace tarvex {
namespace {
const char kNotImplemented[] = "Not implemented";
}  // namespace

HRESULT CTarvex::HttpGet(BSTR, ITarvex** response) {
    if (response) *response = nullptr;
    Context scope(log_, "HttpGet");
    log_.LogError(kNotImplemented);
    return S_OK;
}

HRESULT CTarvex::HttpPost(BSTR, ITarvex** response) {
    if (response) *response = nullptr;
    Context scope(log_, "HttpPost");
    log_.LogError(kNotImplemented);
    return S_OK;
}

}  // namespace tarvex
