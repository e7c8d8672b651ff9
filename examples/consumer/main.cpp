// Builds a small document through the public interface, reads it back and
// prints it: what every program linked against Tarvex can do.
#include <cstdio>
#include <string>

#include "tarvex/tarvex.hpp"

int main() {
    tarvex::Tarvex doc = tarvex::Tarvex::create();
    if (!doc || !doc.loadXml("<menu><dish price=\"4\">Soupe \xC3\xA0 l'oignon</dish></menu>")) {
        std::fprintf(stderr, "cannot load:\n%s", doc ? doc.lastErrorText().c_str() : "no object\n");
        return 1;
    }
    tarvex::Tarvex dish = doc.newChild("dish", "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e");
    dish.setAttr("price", "6");
    doc->SortByContent(1);
    std::printf("%d dishes; first: %s (%s)\n", doc.numChildren(), doc.child(0).content().c_str(),
                doc.child(0).attr("price").c_str());
    std::printf("missing child gives \"%s\"\n", doc.childContent("drink").c_str());
    return 0;
}
