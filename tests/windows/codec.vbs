' Compressed, encrypted, binary and encoded-word content from VBScript, as a
' page script stores it. The stored forms are compared with what the Linux
' build (OpenSSL, zlib) writes, so the Windows crypto backend must agree.
' Run by cscript //nologo codec.vbs. Prints one line per failed check, then
' TARVEX-SCRIPT-OK or TARVEX-SCRIPT-FAILED n.
Option Explicit

Dim failures
failures = 0

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

' The stored (base64) form of a byte array, by handing it to another node.
Function Stored(bytes)
    Dim d
    Set d = CreateObject("Tarvex.Tarvex")
    d.SetBinaryContent 0, 0, "", bytes
    Stored = d.Content
End Function

Dim x, y, ok, v, big, i

' --- Compression -------------------------------------------------------------
Set x = NewDoc("<a>hello</a>")
x.CompressNode
Eq Right(x.Content, 2), vbCrLf, "compressed content ends in CR LF"
Eq x.DecompressNode(), 1, "DecompressNode"
Eq x.Content, "hello", "DecompressNode restores the text"
x.Content = "y0jNyckHAA==" & vbCrLf    ' raw deflate of hello, made by another program
Eq x.DecompressNode(), 1, "DecompressNode of foreign data"
Eq x.Content, "hello", "foreign data inflates"
x.Content = "abc!def"
Eq x.DecompressNode(), 0, "DecompressNode of text that is not base64"
Check Contains(x.LastErrorText, "Invalid Base64 data"), "Invalid Base64 data logged"
x.Content = "//79/Pv6"
Eq x.DecompressNode(), 0, "DecompressNode of data that is not deflated"
Check Contains(x.LastErrorText, "Failed to inflate data"), "Failed to inflate data logged"
Eq x.Content, "//79/Pv6", "content kept after a failed inflation"

big = ""
For i = 1 To 2000
    big = big & "<r n=""" & i & """>line " & i & "</r>"
Next
Set y = NewDoc("<doc><part id=""7"">" & big & "</part></doc>")
y.FirstChild2
y.CompressSubtree
Eq y.NumChildren, 0, "CompressSubtree removes the children"
Eq y.Cdata, 1, "CompressSubtree sets CDATA"
Eq y.GetAttrValue("id"), "7", "attributes stay"
Eq y.DecompressSubtree(), 1, "DecompressSubtree"
Eq y.NumChildren, 2000, "children restored"
Eq y.LastChild().Content, "line 2000", "last child restored"

' --- Encryption: the Windows backend writes what OpenSSL writes -------------
Set x = NewDoc("<a>secret text</a>")
x.EncryptNode "pw"
Eq x.Content, "d7DliSIUABVxF9eGJu3xHQ==" & vbCrLf, "EncryptNode matches the OpenSSL ciphertext"
Eq x.DecryptNode("wrong"), 0, "DecryptNode with a wrong password"
Check Contains(x.LastErrorText, "Wrong password"), "wrong password logged"
Eq x.DecryptNode("pw"), 1, "DecryptNode"
Eq x.Content, "secret text", "DecryptNode restores the text"
x.EncryptNode ""
Eq x.DecryptNode(""), 1, "empty password round trip"
Eq x.Content, "secret text", "empty password restores the text"

' --- Binary content ---------------------------------------------------------
Set x = CreateObject("Tarvex.Tarvex")
x.SetBinaryContent 0, 0, "", "AB"
Eq x.Content, "QQBCAA==" & vbCrLf, "a string is stored as its UTF-16LE bytes"
x.SetBinaryContent 0, 1, "p" & Chr(228) & "ss", "Hi"
Eq x.Content, "dvYuXbcWCTfbg788wQjkjA==" & vbCrLf, "binary content encrypted with a UTF-8 password"
For Each ok In Array(Array(0, 0), Array(1, 0), Array(0, 1), Array(1, 1))
    x.SetBinaryContent ok(0), ok(1), "pw", big
    v = x.GetBinaryContent(ok(0), ok(1), "pw")
    Eq VarType(v), vbArray + vbByte, "GetBinaryContent gives a byte array"
    Eq Stored(v), Stored(big), "binary round trip, flags " & ok(0) & ok(1)
Next
Set y = CreateObject("Tarvex.Tarvex")
v = y.GetBinaryContent(0, 0, "")
Check IsEmpty(v), "GetBinaryContent of no content gives nothing"
Check Contains(y.LastErrorText, "Failed to decode base64 data"), "no content logged"

' --- Encoded words ----------------------------------------------------------
Set x = CreateObject("Tarvex.Tarvex")
x.QEncodeContent "utf-8", "A"
Eq x.Content, "=?utf-8?Q?A=00?=", "QEncodeContent"
x.BEncodeContent "utf-8", "A"
Eq x.Content, "=?utf-8?B?QQA=?=", "BEncodeContent"
x.Content = "=?utf-8?B?aGk=?="
Eq Stored(x.DecodeContent()), "aGk=" & vbCrLf, "DecodeContent of a B word"
x.Content = "plain"
Eq Stored(x.DecodeContent()), "cGxhaW4=" & vbCrLf, "DecodeContent of plain text"
Set y = CreateObject("Tarvex.Tarvex")
Check IsNull(y.DecodeContent()), "DecodeContent of no content is Null"

If failures = 0 Then
    WScript.Echo "TARVEX-SCRIPT-OK"
Else
    WScript.Echo "TARVEX-SCRIPT-FAILED " & failures
End If
WScript.Quit failures
