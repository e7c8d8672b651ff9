// CTarvex members for the current node's own data, whole documents and
// attributes.
#include "component/CTarvex.h"

#include <initializer_list>

#include "text/DataBuffer.h"
#include "text/StringBuffer.h"
#include "charset/WideString.h"
#include "charset/XString.h"
#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"
#include "xml/EntityTables.h"
#include "xml/XmlParser.h"
#include "xml/XmlSerializer.h"

namespace tarvex {
namespace {

const char kParseFailed[] = "Failed to parse XML data (5)";

// The VARIANT a script variable reference points at.
const VARIANT* followReference(const VARIANT* v) {
    for (int depth = 0; depth < 8 && v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal; ++depth) v = v->pvarVal;
    return v;
}

// Stores a declaration value given as text in the ANSI code page: trimmed,
// then stripped of spaces, line breaks and the bytes of markup.
void putDeclarationValue(TreeNode* node, const char* name, BSTR value) {
    StringBuffer text = StringBuffer::fromBstrAnsi(value);
    text.trim();
    for (char c : {' ', '\n', '\r', '>', '<', '/'}) text.removeAll(c);
    node->GetTree()->SetDeclarationAttribute(name, text.getString());
}

void getDeclarationValue(TreeNode* node, const char* name, BSTR* out) {
    StringBuffer value;
    node->GetTree()->GetDeclarationAttribute(name, value);
    *out = value.toBstrAnsi();
}

}  // namespace

// ---------------------------------------------------------------------------
// Properties and node data

HRESULT CTarvex::get_Version(BSTR* pVal) {
    if (pVal) *pVal = SysAllocString(OLESTR("5.0.1"));
    return S_OK;
}

HRESULT CTarvex::get_TreeId(LONG* pVal) {
    if (pVal) *pVal = current_->GetTreeId();
    return S_OK;
}

HRESULT CTarvex::get_NumAttributes(LONG* pVal) {
    if (pVal) *pVal = current_->Attributes() ? current_->Attributes()->Count() : 0;
    return S_OK;
}

HRESULT CTarvex::get_Tag(BSTR* pVal) {
    if (pVal) *pVal = NewBstr(current_->GetTag(), current_->GetTagLength());
    return S_OK;
}

HRESULT CTarvex::put_Tag(BSTR newVal) {
    StringBuffer tag;
    ToUtf8(newVal, tag);
    current_->SetTag(tag.getString());  // the tag ends at the first zero character
    return S_OK;
}

HRESULT CTarvex::get_Content(BSTR* pVal) {
    if (pVal == nullptr) return S_OK;
    if (current_->HasContent())
        *pVal = NewBstr(current_->GetContent(), current_->GetContentLength());
    else
        *pVal = NewBstr("", 0);
    return S_OK;
}

HRESULT CTarvex::put_Content(BSTR newVal) {
    DataBuffer bytes;
    bstrToUtf8(newVal, bytes);
    if (bytes.getSize() == 0)
        current_->SetContentBytes(nullptr, 0);
    else
        current_->SetContentBytes(reinterpret_cast<const char*>(bytes.getData()),
                                  static_cast<int32_t>(bytes.getSize()));
    return S_OK;
}

HRESULT CTarvex::get_NumChildren(LONG* pVal) {
    if (pVal) *pVal = current_->NumChildren();
    return S_OK;
}

HRESULT CTarvex::get_Cdata(LONG* pVal) {
    if (pVal) *pVal = current_->IsCdata() ? 1 : 0;
    return S_OK;
}

HRESULT CTarvex::put_Cdata(LONG newVal) {
    current_->SetCdata(newVal != 0);
    return S_OK;
}

HRESULT CTarvex::AppendToContent(BSTR str) {
    StringBuffer text;
    ToUtf8(str, text);
    if (text.getSize() > 0) current_->AppendContent(text.getString(), text.getSize());
    return S_OK;
}

HRESULT CTarvex::get_Standalone(BSTR* pVal) {
    if (pVal) getDeclarationValue(current_, "standalone", pVal);
    return S_OK;
}

HRESULT CTarvex::put_Standalone(BSTR newVal) {
    putDeclarationValue(current_, "standalone", newVal);
    return S_OK;
}

HRESULT CTarvex::get_Encoding(BSTR* pVal) {
    if (pVal) getDeclarationValue(current_, "encoding", pVal);
    return S_OK;
}

HRESULT CTarvex::put_Encoding(BSTR newVal) {
    putDeclarationValue(current_, "encoding", newVal);
    return S_OK;
}

// ---------------------------------------------------------------------------
// Loading and writing documents

bool CTarvex::LoadUtf8Text(const StringBuffer& text, LogBase* log, TreeNode** root) {
    *root = nullptr;
    return XmlParser::parseUtf8(text.getString(), text.getSize(), log, root) && *root != nullptr;
}

HRESULT CTarvex::LoadXml(BSTR xmlData, LONG* success) {
    if (success) *success = 0;
    Context scope(log_, "LoadXml");
    if (scope.RefuseNull(xmlData == nullptr || success == nullptr)) return S_OK;
    StringBuffer text;
    ToUtf8(xmlData, text);
    TreeNode* root = nullptr;
    if (!LoadUtf8Text(text, &log_, &root)) {
        log_.LogError(kParseFailed);
        return S_OK;
    }
    ReplaceCurrentNode(root);
    root->GetTree()->SetDeclarationAttribute("encoding", "utf-8");
    *success = 1;
    return S_OK;
}

HRESULT CTarvex::LoadXmlV(VARIANT xmlData, LONG* success) {
    if (success) *success = 0;
    Context scope(log_, "LoadXmlV");
    if (scope.RefuseNull(success == nullptr)) return S_OK;
    TreeNode* root = nullptr;
    bool loaded = false;
    const VARIANT* value = followReference(&xmlData);
    if (value->vt == VT_BSTR || value->vt == (VT_BYREF | VT_BSTR)) {
        // A string is text, not bytes: it is parsed as the characters it holds
        // whatever encoding its declaration names.
        BSTR text = value->vt == VT_BSTR ? value->bstrVal : (value->pbstrVal ? *value->pbstrVal : nullptr);
        StringBuffer utf8;
        ToUtf8(text, utf8);
        loaded = LoadUtf8Text(utf8, &log_, &root);
        if (loaded) XmlParser::declareUtf8IfUnicode(root);
    } else {
        DataBuffer bytes;
        bytes.appendVariant(&xmlData);
        loaded = XmlParser::loadXmlBytes(bytes, &log_, &root) && root != nullptr;
    }
    if (!loaded) {
        log_.LogError(kParseFailed);
        return S_OK;
    }
    ReplaceCurrentNode(root);
    *success = 1;
    return S_OK;
}

HRESULT CTarvex::LoadXmlFile(BSTR fileName, LONG* success) {
    if (success) *success = 0;
    Context scope(log_, "LoadXmlFile");
    if (scope.RefuseNull(fileName == nullptr || success == nullptr)) return S_OK;
    StringBuffer ansiName = StringBuffer::fromBstrAnsi(fileName);
    ansiName.trim();

    TreeNode* root = nullptr;
    bool loaded = XmlParser::loadXmlFileWide(fileName, &log_, &root) && root != nullptr;
    if (!loaded) {
        // Second attempt with the trimmed name, in a fresh log; the scope
        // leaves this context.
        log_.ClearLog();
        log_.EnterContext("LoadXmlFile", 1);
        XString name;
        name.setFromAnsi(ansiName.getString());
        root = nullptr;
        loaded = XmlParser::loadXmlFile(name.getUtf8(), &log_, &root) && root != nullptr;
        if (!loaded) {
            log_.LogError("Failed to parse file");
            // The log holds UTF-8: the ANSI name is logged in its UTF-8 form.
            log_.LogData("filename", name.getUtf8());
        }
    }
    if (loaded) {
        ReplaceCurrentNode(root);
        *success = 1;
    }
    return S_OK;
}

HRESULT CTarvex::SaveXml(BSTR fileName, LONG* success) {
    if (success) *success = 0;
    Context scope(log_, "SaveXml");
    if (scope.RefuseNull(fileName == nullptr || success == nullptr)) return S_OK;
    XString name;
    name.setFromBstr(fileName);
    *success = XmlSerializer::saveXml(current_, name.getUtf8(), &log_) ? 1 : 0;
    return S_OK;
}

HRESULT CTarvex::GetXml(BSTR* xmlData) {
    if (xmlData == nullptr) {
        LogNullParameter("GetXml");
        return S_OK;
    }
    StringBuffer xml;
    XmlSerializer::serializeNode(current_, xml, 0);
    *xmlData = NewBstr(xml);
    return S_OK;
}

HRESULT CTarvex::DecodeEntities(BSTR str, BSTR* strOut) {
    if (strOut) *strOut = nullptr;
    if (str == nullptr || strOut == nullptr) {
        LogNullParameter("DecodeEntities");
        return S_OK;
    }
    *strOut = decodeEntitiesWide(str);
    return S_OK;
}

// ---------------------------------------------------------------------------
// Attributes

HRESULT CTarvex::AddAttribute(BSTR name, BSTR value) {
    if (name == nullptr) {
        LogNullParameter("AddAttribute");
        return S_OK;
    }
    StringBuffer n;
    StringBuffer v;
    ToUtf8(name, n);
    ToUtf8(value, v);
    if (n.getSize() == 0) return S_OK;
    current_->EnsureAttributes()->Add(n.getString(), n.getSize(), v.getString(), v.getSize());
    return S_OK;
}

HRESULT CTarvex::RemoveAttribute(BSTR name) {
    if (name == nullptr) {
        LogNullParameter("RemoveAttribute");
        return S_OK;
    }
    StringBuffer n;
    ToKey(name, n);
    if (AttributeSet* attributes = current_->Attributes()) attributes->Remove(n.getString());
    return S_OK;
}

HRESULT CTarvex::RemoveAllAttributes() {
    if (AttributeSet* attributes = current_->Attributes()) attributes->Clear();
    return S_OK;
}

HRESULT CTarvex::GetAttributeName(LONG index, BSTR* name) {
    if (name == nullptr) {
        LogNullParameter("GetAttributeName");
        return S_OK;
    }
    *name = nullptr;
    int32_t length = 0;
    const AttributeSet* attributes = current_->Attributes();
    const char* p = attributes ? attributes->NamePtr(index, &length) : nullptr;
    if (p == nullptr || length == 0) {
        Context scope(log_, "GetAttributeName");
        log_.LogError("No attribute at this index");
        log_.LogDataLong("index", index);
        return S_OK;
    }
    *name = NewBstr(p, length);
    return S_OK;
}

HRESULT CTarvex::GetAttributeValue(LONG index, BSTR* value) {
    if (value == nullptr) {
        LogNullParameter("GetAttributeValue");
        return S_OK;
    }
    int32_t length = 0;
    const AttributeSet* attributes = current_->Attributes();
    const char* p = attributes ? attributes->ValuePtr(index, &length) : nullptr;
    *value = NewBstr(p ? p : "", p ? length : 0);
    return S_OK;
}

HRESULT CTarvex::GetAttrValue(BSTR name, BSTR* value) {
    if (value) *value = nullptr;
    if (name == nullptr || value == nullptr) {
        LogNullParameter("GetAttrValue");
        return S_OK;
    }
    StringBuffer n;
    ToKey(name, n);
    int32_t length = 0;
    const AttributeSet* attributes = current_->Attributes();
    const char* p = attributes && n.getSize() > 0 ? attributes->FindValue(n.getString(), &length) : nullptr;
    *value = NewBstr(p ? p : "", p ? length : 0);
    return S_OK;
}

HRESULT CTarvex::HasAttrWithValue(BSTR name, BSTR value, LONG* pVal) {
    if (pVal) *pVal = 0;
    if (name == nullptr || pVal == nullptr) {
        LogNullParameter("HasAttrWithValue");
        return S_OK;
    }
    StringBuffer n;
    StringBuffer v;
    ToKey(name, n);
    ToUtf8(value, v);
    const AttributeSet* attributes = current_->Attributes();
    *pVal = attributes && attributes->HasValue(n.getString(), v.getString()) ? 1 : 0;
    return S_OK;
}

HRESULT CTarvex::UpdateAttribute(BSTR name, BSTR value) {
    StringBuffer n;
    StringBuffer v;
    ToUtf8(name, n);
    ToUtf8(value, v);
    current_->EnsureAttributes()->Update(n.getString(), v.getString());
    return S_OK;
}

}  // namespace tarvex
