' Drives every member of Tarvex.Tarvex from VBScript the way a page script
' does. Run by cscript //nologo members.vbs <scratch folder>. Prints one line
' per failed check, then TARVEX-SCRIPT-OK or TARVEX-SCRIPT-FAILED n.
Option Explicit

Dim failures, scratch, fso
failures = 0
Set fso = CreateObject("Scripting.FileSystemObject")
If WScript.Arguments.Count > 0 Then scratch = WScript.Arguments(0) Else scratch = fso.GetSpecialFolder(2)

Sub Check(ok, label)
    If Not ok Then
        failures = failures + 1
        WScript.Echo "FAILED: " & label
    End If
End Sub

Sub Eq(actual, expected, label)
    If actual <> expected Then
        failures = failures + 1
        WScript.Echo "FAILED: " & label & ": got [" & actual & "] expected [" & expected & "]"
    End If
End Sub

Function Contains(text, part)
    Contains = InStr(1, text, part, vbBinaryCompare) > 0
End Function

Function NewDoc(xml)
    Dim d
    Set d = CreateObject("Tarvex.Tarvex")
    Eq d.LoadXml(xml), 1, "LoadXml of " & Left(xml, 30)
    Set NewDoc = d
End Function

Function Children(node)
    Dim c, s
    s = ""
    Set c = node.FirstChild()
    Do While Not c Is Nothing
        s = s & c.Tag & ","
        Set c = c.NextSibling()
    Loop
    Children = s
End Function

Function Contents(node)
    Dim c, s
    s = ""
    Set c = node.FirstChild()
    Do While Not c Is Nothing
        s = s & c.Content & ","
        Set c = c.NextSibling()
    Loop
    Contents = s
End Function

Function PathIn(name)
    PathIn = fso.BuildPath(scratch, name)
End Function

' --- A new object, identity and properties -----------------------------------
Dim x, y, z, n, s, doc
Set x = CreateObject("Tarvex.Tarvex")
Eq x.Version, "5.0.1", "Version"
Eq x.Tag, "unnamed", "new object's tag"
Eq x.NumChildren, 0, "new object's children"
Check Contains(x.GetXml(), "<unnamed"), "new object's GetXml"
Set y = CreateObject("Tarvex.Tarvex.1")
Check x.TreeId <> y.TreeId, "two new objects have different trees"
Set z = x.GetRoot()
Eq z.TreeId, x.TreeId, "GetRoot stays in the tree"

' --- Loading from a string, a file and a byte array ----------------------------
Set doc = NewDoc("<?xml version=""1.0""?><shop><item id=""2"" kind=""fruit"">pear</item>" & _
                 "<item id=""1"" kind=""veg"">leek</item><item id=""3"" kind=""fruit"">apple</item>" & _
                 "<note><![CDATA[a < b]]></note></shop>")
Eq doc.Tag, "shop", "root tag after LoadXml"
Eq doc.NumChildren, 4, "NumChildren"
Eq doc.Encoding, "utf-8", "LoadXml sets utf-8"
Eq doc.NumChildrenHavingTag("item"), 3, "NumChildrenHavingTag"
Eq doc.GetChildContent("note"), "a < b", "CDATA content"
Eq doc.GetChildWithTag("note").Cdata, 1, "Cdata flag"
Eq doc.LoadXml("just text"), 0, "LoadXml of broken text fails"
Eq doc.Tag, "shop", "a failed load keeps the tree"

Dim stream, filePath
filePath = PathIn("vbs-load.xml")
Set stream = fso.CreateTextFile(filePath, True, False)
stream.Write "<?xml version=""1.0"" encoding=""iso-8859-1""?>" & vbCrLf & "<doc><w>caf" & Chr(233) & "</w></doc>"
stream.Close
Set y = CreateObject("Tarvex.Tarvex")
Eq y.LoadXmlFile(filePath), 1, "LoadXmlFile"
Eq Len(y.GetChildContent("w")), 4, "Latin-1 file decoded: one character for the byte E9"
Eq Asc(Mid(y.GetChildContent("w"), 4, 1)), 233, "Latin-1 file decoded: e acute"
Eq y.Encoding, "iso-8859-1", "LoadXmlFile keeps the declared encoding"
Eq y.LoadXmlFile(PathIn("no-such-file.xml")), 0, "LoadXmlFile of a missing file"
Check Contains(y.LastErrorText, "LoadXmlFile"), "missing file logged"

' A byte array, made by the system's own XML object from base64.
Dim dom, el, bytes
Set dom = WScript.CreateObject("Msxml2.DOMDocument")
Set el = dom.createElement("b")
el.dataType = "bin.base64"
el.text = "PHI+PGsgYT0iMSI+dmFsdWU8L2s+PC9yPg=="   ' <r><k a="1">value</k></r>
bytes = el.nodeTypedValue
Eq VarType(bytes), vbArray + vbByte, "byte array from base64"
Set y = CreateObject("Tarvex.Tarvex")
Eq y.LoadXmlV(bytes), 1, "LoadXmlV of a byte array"
Eq y.GetChildContent("k"), "value", "byte array content"
Eq y.LoadXmlV("<s>text</s>"), 1, "LoadXmlV of a string"
Eq y.Tag, "s", "LoadXmlV of a string: tag"

' --- Attributes -----------------------------------------------------------------
Set n = doc.FirstChild()
Eq n.NumAttributes, 2, "NumAttributes"
Eq n.GetAttributeName(1), "kind", "GetAttributeName"
Eq n.GetAttributeValue(0), "2", "GetAttributeValue"
Eq n.GetAttrValue(" kind "), "fruit", "GetAttrValue trims the name"
Eq n.HasAttrWithValue("kind", "fruit"), 1, "HasAttrWithValue"
Eq n.HasAttrWithValue("kind", "veg"), 0, "HasAttrWithValue, other value"
n.AddAttribute "color", "green"
Eq n.NumAttributes, 3, "AddAttribute"
n.UpdateAttribute "color", "yellow"
Eq n.GetAttrValue("color"), "yellow", "UpdateAttribute"
n.RemoveAttribute "color"
Eq n.NumAttributes, 2, "RemoveAttribute"

' --- Editing ----------------------------------------------------------------------
Set y = NewDoc("<r/>")
Set n = y.NewChild("a", "one")
Eq n.Content, "one", "NewChild content"
y.NewChild2 "b", "two"
Eq Children(y), "a,b,", "NewChild2 adds without moving"
Set n = y.FindOrAddNewChild("c")
Eq Children(y), "a,b,c,", "FindOrAddNewChild adds"
Set n = y.FindOrAddNewChild("a")
Eq n.Content, "one", "FindOrAddNewChild finds"
n.Content = "uno"
n.AppendToContent "!"
Eq y.GetChildContent("a"), "uno!", "Content put and AppendToContent"
n.Tag = "first"
Eq Children(y), "first,b,c,", "Tag put"
y.UpdateChildContent "b", "deux"
Eq y.GetChildContent("b"), "deux", "UpdateChildContent"
n.Cdata = 1
Check Contains(y.GetXml(), "<![CDATA[uno!]]>"), "Cdata put"
n.RemoveAllAttributes
Set z = y.ExtractChildByIndex(2)
Eq z.Tag, "c", "ExtractChildByIndex"
Eq Children(y), "first,b,", "extracted child gone"
y.AddChildTree z
Eq Children(y), "first,b,c,", "AddChildTree"
Set z = NewDoc("<x><k name=""p"">v</k><k name=""q"">w</k></x>")
Set n = z.ExtractChildByName("k", "name", "q")
Eq n.Content, "w", "ExtractChildByName"
Eq z.NumChildren, 1, "ExtractChildByName removes"
Set n = y.GetChild(1)
n.RemoveFromTree
Eq Children(y), "first,c,", "RemoveFromTree"
Set n = y.GetChild(0)
Set z = y.GetChild(1)
n.SwapNode z
Eq Children(y), "c,first,", "SwapNode"
Set n = NewDoc("<t><u>1</u></t>")
Set z = y.GetChild(0)
z.SwapTree n
Check Contains(y.GetXml(), "<u>1</u>"), "SwapTree"
y.Clear
Eq y.NumChildren, 0, "Clear"

' --- Navigation -------------------------------------------------------------------
Set y = NewDoc("<r><a/><b><b1/><b2/></b><c/></r>")
Eq y.GetChild(1).Tag, "b", "GetChild"
Check y.GetChild(7) Is Nothing, "GetChild out of range"
Eq y.LastChild().Tag, "c", "LastChild"
Eq y.LastChild().PreviousSibling().Tag, "b", "PreviousSibling"
Eq y.GetChild(1).FirstChild().GetParent().Tag, "b", "GetParent"
Eq y.GetNthChildWithTag("c", 0).Tag, "c", "GetNthChildWithTag"
Eq y.FindChild("b").NumChildren, 2, "FindChild"
Set z = y.GetChild(0)
Eq z.NextSibling2(), 1, "NextSibling2"
Eq z.Tag, "b", "NextSibling2 moves"
Eq z.FirstChild2(), 1, "FirstChild2"
Eq z.NextSibling2(), 1, "NextSibling2 again"
Eq z.Tag, "b2", "at b2"
Eq z.NextSibling2(), 0, "NextSibling2 at the end"
Eq z.PreviousSibling2(), 1, "PreviousSibling2"
Eq z.GetParent2(), 1, "GetParent2"
Eq z.LastChild2(), 1, "LastChild2"
Eq z.Tag, "b2", "LastChild2 moves"
z.GetRoot2
Eq z.Tag, "r", "GetRoot2"
Eq z.GetChild2(2), 1, "GetChild2"
Eq z.Tag, "c", "GetChild2 moves"
z.GetRoot2
Eq z.FindChild2("b"), 1, "FindChild2"
Eq z.Tag, "b", "FindChild2 moves"

' --- Searching --------------------------------------------------------------------
Dim after, seen
Set doc = NewDoc("<lib><book lang=""en""><title>Alpha</title></book><book lang=""fr""><title>Beta</title></book>" & _
                 "<mag lang=""en""><title>Gamma</title></mag></lib>")
seen = ""
Set after = Nothing
Do
    Set n = doc.SearchForTag(after, "title")
    If n Is Nothing Then Exit Do
    seen = seen & n.Content & ","
    Set after = n
Loop
Eq seen, "Alpha,Beta,Gamma,", "SearchForTag walk"
Eq doc.SearchForContent(Nothing, "title", "*et*").Content, "Beta", "SearchForContent"
Eq doc.SearchAllForContent(Nothing, "G*").Content, "Gamma", "SearchAllForContent"
Eq doc.SearchForAttribute(Nothing, "mag", "lang", "e*").GetChildContent("title"), "Gamma", "SearchForAttribute"
Check doc.SearchForTag(Nothing, "none") Is Nothing, "failed search gives Nothing"
Eq doc.FirstChild().FindNextRecord("title", "B*").GetAttrValue("lang"), "fr", "FindNextRecord"
Set n = doc.SearchForTag(Nothing, "title")
Eq n.ContentMatches("al*", 0), 1, "ContentMatches, case-insensitive"
Eq n.ContentMatches("al*", 1), 0, "ContentMatches, case-sensitive"
Eq doc.FirstChild().ChildContentMatches("title", "A*", 1), 1, "ChildContentMatches"

' --- Sorting ----------------------------------------------------------------------
Set doc = NewDoc("<s><c k=""2"">b</c><a k=""3"">c</a><b k=""1"">a</b></s>")
doc.SortByTag 1
Eq Children(doc), "a,b,c,", "SortByTag ascending"
doc.SortByContent 0
Eq Contents(doc), "c,b,a,", "SortByContent descending"
doc.SortByAttribute "k", 1
Eq Children(doc), "b,c,a,", "SortByAttribute"
Set doc = NewDoc("<s><r><n>b</n></r><r><n>c</n></r><r><n>a</n></r></s>")
doc.SortRecordsByContent "n", 1
Eq doc.GetChild(0).GetChildContent("n") & doc.GetChild(2).GetChildContent("n"), "ac", "SortRecordsByContent"
Set doc = NewDoc("<s><r><n v=""2""/></r><r><n v=""1""/></r></s>")
doc.SortRecordsByAttribute "n", "v", 0
Eq doc.GetChild(0).FirstChild().GetAttrValue("v"), "2", "SortRecordsByAttribute"

' --- Saving in several encodings ---------------------------------------------------
Dim enc, sizes, p, text
' e acute and e grave (Chr: this script engine lacks ChrW).
text = "<d><e>" & Chr(233) & Chr(232) & "</e></d>"
For Each enc In Array("utf-8", "iso-8859-1", "windows-1252", "utf-16")
    Set y = NewDoc(text)
    y.Encoding = enc
    Eq y.Encoding, enc, "Encoding put " & enc
    p = PathIn("vbs-save-" & enc & ".xml")
    Eq y.SaveXml(p), 1, "SaveXml " & enc
    Set z = CreateObject("Tarvex.Tarvex")
    Eq z.LoadXmlFile(p), 1, "reload " & enc
    Eq z.GetChildContent("e"), y.GetChildContent("e"), "round trip " & enc
    Eq Len(z.GetChildContent("e")), 2, "two characters after the round trip " & enc
Next
' Two accented letters: two bytes more in UTF-8 than in the single-byte sets.
Eq fso.GetFile(PathIn("vbs-save-utf-8.xml")).Size - fso.GetFile(PathIn("vbs-save-iso-8859-1.xml")).Size, _
   2 + Len("utf-8") - Len("iso-8859-1"), "UTF-8 and Latin-1 byte counts"
Check fso.GetFile(PathIn("vbs-save-utf-16.xml")).Size > 2 * fso.GetFile(PathIn("vbs-save-windows-1252.xml")).Size - 20, _
   "UTF-16 file is two bytes a character"
y.Encoding = "no-such-charset"
Eq y.SaveXml(PathIn("vbs-save-bad.xml")), 0, "SaveXml with an unknown charset fails"
Check Not fso.FileExists(PathIn("vbs-save-bad.xml")), "nothing written for an unknown charset"
y.Standalone = " yes/> "
Eq y.Standalone, "yes", "Standalone put strips"
Eq y.SaveXml(""), 0, "SaveXml to an empty name"

' --- The call log and its renderings ------------------------------------------------
Set y = NewDoc("<r><a/></r>")
Set n = y.GetChild(5)
Eq y.LastErrorText, "OstrandLog:" & vbCrLf & "  GetChild:" & vbCrLf & "    No child at this index" & vbCrLf & _
   "    index: 5" & vbCrLf, "LastErrorText"
Check Left(y.LastErrorXml, 12) = "<OstrandLog>", "LastErrorXml root"
Check Contains(y.LastErrorXml, "<error>No child at this index</error>"), "LastErrorXml error entry"
Check Contains(y.LastErrorHtml, "<blockquote>"), "LastErrorHtml"
p = PathIn("vbs-log.xml")
Eq y.SaveLastError(p), 1, "SaveLastError"
Check Contains(fso.OpenTextFile(p).ReadAll, "No child at this index"), "saved log holds the error"
Set n = y.GetChild(0)
Check Contains(y.LastErrorText, "No child at this index"), "a succeeding GetChild keeps the previous log"

' --- Entities and the members still waiting for their codecs --------------------------
Eq y.DecodeEntities("a &amp; b &lt;c&gt;"), "a & b <c>", "DecodeEntities"
Set n = y.GetChild(0)
n.Content = "plain"
n.QEncodeContent "utf-8", "caf" & Chr(233)
n.BEncodeContent "utf-8", "caf" & Chr(233)
Dim v
v = n.DecodeContent()
n.CompressNode
n.CompressSubtree
v = n.DecompressNode()
v = n.DecompressSubtree()
n.EncryptNode "secret"
v = n.DecryptNode("secret")
n.SetBinaryContent 0, 0, "", bytes
v = n.GetBinaryContent(0, 0, "")
Set z = n.HttpGet("http://127.0.0.1:1/")
Set z = n.HttpPost("http://127.0.0.1:1/")
' The page members outside a page.
y.LoadRequest
Eq y.Tag, "r", "LoadRequest outside a page changes nothing"
y.OnEndPage

If failures = 0 Then
    WScript.Echo "TARVEX-SCRIPT-OK"
Else
    WScript.Echo "TARVEX-SCRIPT-FAILED " & failures
End If
WScript.Quit failures
