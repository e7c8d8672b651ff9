// Tarvex demo: load an XML document, edit it through the component's
// interface, save it, and show the result and the call log.
//
//   tarvex_demo [input.xml] [output.xml]
//
// Defaults: the bundled examples/demo/sample.xml and demo-output.xml in the current
// directory.
#include <cstdio>
#include <string>

#include "tarvex/tarvex.hpp"

using tarvex::Tarvex;

int main(int argc, char** argv) {
    const std::string input = argc > 1 ? argv[1] : TARVEX_DEMO_SAMPLE;
    const std::string output = argc > 2 ? argv[2] : "demo-output.xml";

    Tarvex doc = Tarvex::create();
    if (!doc) {
        std::fprintf(stderr, "cannot create a Tarvex object\n");
        return 1;
    }
    if (!doc.loadXmlFile(input)) {
        std::fprintf(stderr, "cannot load %s:\n%s", input.c_str(), doc.lastErrorText().c_str());
        return 1;
    }
    std::printf("Loaded %s: <%s> with %d orders from %s\n", input.c_str(), doc.tag().c_str(), doc.numChildren(),
                doc.attr("shop").c_str());

    // Orders by id, then ship every open one and stamp it.
    doc->SortByAttribute(tarvex::BstrArg("id"), 1);
    for (int i = 0; i < doc.numChildren(); ++i) {
        Tarvex order = doc.child(i);
        if (order.attr("status") != "open") continue;
        order.setAttr("status", "shipped");
        order.updateChildContent("shipped-by", "Åsa Ødegård");
        std::printf("  shipped order %s for %s\n", order.attr("id").c_str(), order.childContent("customer").c_str());
    }

    // A new order, built child by child.
    Tarvex order = doc.newChild("order");
    order.setAttr("id", "1044");
    order.setAttr("status", "open");
    order.newChild("customer", "François Lefèvre");
    order.newChild("city", "Besançon");
    Tarvex item = order.newChild("item", "Pain au chocolat");
    item.setAttr("sku", "P-310");
    item.setAttr("qty", "6");

    // Find the first order for a customer whose name starts with "Chlo".
    ITarvex* found = nullptr;
    doc->SearchForContent(nullptr, tarvex::BstrArg("customer"), tarvex::BstrArg("Chlo*"), &found);
    Tarvex customer(found);
    if (customer) std::printf("  found %s in %s\n", customer.content().c_str(), customer.parent().childContent("city").c_str());

    if (!doc.saveXml(output)) {
        std::fprintf(stderr, "cannot save %s:\n%s", output.c_str(), doc.lastErrorText().c_str());
        return 1;
    }
    std::printf("Saved %s\n\n%s\n", output.c_str(), doc.getXml().c_str());
    std::printf("Call log of the save:\n%s", doc.lastErrorText().c_str());
    return 0;
}
