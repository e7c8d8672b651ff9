// CTarvex members whose work is not built yet: compression, encryption,
// encoded words and binary content. Each returns its failure value; the
// members that keep a log context record "Not implemented" in it.
#include "component/CTarvex.h"

namespace tarvex {
namespace {
const char kNotImplemented[] = "Not implemented";
}  // namespace

HRESULT CTarvex::CompressSubtree() {
    Context scope(log_, "CompressSubtree");
    log_.LogError(kNotImplemented);
    return S_OK;
}

HRESULT CTarvex::CompressNode() {
    Context scope(log_, "CompressNode");
    log_.LogError(kNotImplemented);
    return S_OK;
}

HRESULT CTarvex::DecompressSubtree(LONG* success) {
    if (success) *success = 0;
    Context scope(log_, "DecompressSubtree");
    log_.LogError(kNotImplemented);
    return S_OK;
}

HRESULT CTarvex::DecompressNode(LONG* success) {
    if (success) *success = 0;
    Context scope(log_, "DecompressNode");
    log_.LogError(kNotImplemented);
    return S_OK;
}

HRESULT CTarvex::EncryptNode(BSTR) {
    Context scope(log_, "EncryptNode");
    log_.LogError(kNotImplemented);
    return S_OK;
}

HRESULT CTarvex::DecryptNode(BSTR, LONG* success) {
    if (success) *success = 0;
    Context scope(log_, "DecryptNode");
    log_.LogError(kNotImplemented);
    return S_OK;
}

// The encoded-word members never log.
HRESULT CTarvex::QEncodeContent(BSTR, VARIANT) { return S_OK; }

HRESULT CTarvex::BEncodeContent(BSTR, VARIANT) { return S_OK; }

HRESULT CTarvex::DecodeContent(VARIANT* Content) {
    if (Content) VariantInit(Content);
    return S_OK;
}

HRESULT CTarvex::SetBinaryContent(LONG, LONG, BSTR, VARIANT) {
    Context scope(log_, "SetBinaryContent", false);
    log_.LogError(kNotImplemented);
    return S_OK;
}

HRESULT CTarvex::GetBinaryContent(LONG, LONG, BSTR, VARIANT* Content) {
    if (Content) VariantInit(Content);
    Context scope(log_, "GetBinaryContent", false);
    log_.LogError(kNotImplemented);
    return S_OK;
}

}  // namespace tarvex
