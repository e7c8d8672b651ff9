// CTarvex members that read or save the call log.
#include "component/CTarvex.h"

#include "text/StringBuffer.h"
#include "charset/XString.h"

namespace tarvex {

// The log holds UTF-8 text, so its renderings are converted as UTF-8.

HRESULT CTarvex::get_LastErrorText(BSTR* pVal) {
    if (pVal == nullptr) return S_OK;
    StringBuffer text;
    log_.GetText(text);
    *pVal = NewBstr(text);
    return S_OK;
}

HRESULT CTarvex::get_LastErrorHtml(BSTR* pVal) {
    if (pVal == nullptr) return S_OK;
    StringBuffer text;
    log_.GetHtml(text);
    *pVal = NewBstr(text);
    return S_OK;
}

HRESULT CTarvex::get_LastErrorXml(BSTR* pVal) {
    if (pVal == nullptr) return S_OK;
    StringBuffer text;
    log_.GetXml(text);
    *pVal = NewBstr(text);
    return S_OK;
}

HRESULT CTarvex::SaveLastError(BSTR fileName, LONG* success) {
    if (success) *success = 0;
    // Appended after the previous call's log, which is what gets saved.
    Context scope(log_, "SaveLastError", false);
    if (scope.RefuseNull(fileName == nullptr || success == nullptr)) return S_OK;
    XString name;
    name.setFromBstr(fileName);
    const bool saved = log_.SaveXmlToFile(0, name.getUtf8());
    *success = saved ? 1 : 0;
    return S_OK;
}

}  // namespace tarvex
