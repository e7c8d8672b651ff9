// A member the object does not have, on line 3.
var x = new ActiveXObject("Tarvex.Tarvex");
x.LoadXml("<a/>"); x.NoSuchMember();
