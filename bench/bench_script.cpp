// The cost of a member call from a script: tarvex-script running a JScript
// loop of 1,000,000 GetChildContent calls, next to the same calls through
// the C++ facade and through IDispatch::Invoke from C++ (what the host does
// underneath), and next to the engine's own cost of a loop and of a call to
// a native function, which bound what any host can reach.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "ScriptHost.h"
#include "tarvex/tarvex.hpp"

namespace {

constexpr int kCalls = 1000000;
const char kDocument[] =
    "<order id=\"1043\"><customer>Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m</customer><city>Lyon</city>"
    "<total>42.50</total></order>";

void BM_FacadeGetChildContent(benchmark::State& state) {
    tarvex::Tarvex doc = tarvex::Tarvex::create();
    if (!doc.loadXml(kDocument)) state.SkipWithError("cannot load");
    size_t bytes = 0;
    for (auto _ : state)
        for (int i = 0; i < kCalls; ++i) bytes += doc.childContent("city").size();
    benchmark::DoNotOptimize(bytes);
    state.SetItemsProcessed(state.iterations() * kCalls);
}

void BM_InvokeGetChildContent(benchmark::State& state) {
    tarvex::Tarvex doc = tarvex::Tarvex::create();
    if (!doc.loadXml(kDocument)) state.SkipWithError("cannot load");
    LPOLESTR name = const_cast<LPOLESTR>(OLESTR("GetChildContent"));
    DISPID id = DISPID_UNKNOWN;
    doc->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    size_t units = 0;
    for (auto _ : state) {
        for (int i = 0; i < kCalls; ++i) {
            // As the host does it: a new string argument per call.
            VARIANT arg;
            VariantInit(&arg);
            arg.vt = VT_BSTR;
            arg.bstrVal = SysAllocString(OLESTR("city"));
            DISPPARAMS params = {&arg, nullptr, 1, 0};
            VARIANT result;
            VariantInit(&result);
            doc->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                        &result, nullptr, nullptr);
            units += SysStringLen(result.bstrVal);
            VariantClear(&result);
            VariantClear(&arg);
        }
    }
    benchmark::DoNotOptimize(units);
    state.SetItemsProcessed(state.iterations() * kCalls);
}

void runScript(benchmark::State& state, const std::string& loopBody) {
    tarvex_script::ScriptHost host("bench_script.js", {});
    const std::string source = std::string("var x = new ActiveXObject(\"Tarvex.Tarvex\");\n") +
                               "if (x.LoadXml('" + kDocument + "') !== 1) throw new Error('cannot load');\n" +
                               "var s; for (var i = 0; i < " + std::to_string(kCalls) + "; i++) { " + loopBody +
                               " }\n";
    for (auto _ : state)
        if (host.runSource(tarvex_script::scriptSourceFromBytes(source)) != 0) state.SkipWithError("script failed");
    state.SetItemsProcessed(state.iterations() * kCalls);
}

void BM_ScriptGetChildContent(benchmark::State& state) { runScript(state, "s = x.GetChildContent(\"city\");"); }
void BM_ScriptPropertyRead(benchmark::State& state) { runScript(state, "s = x.NumChildren;"); }
void BM_ScriptNativeCallFloor(benchmark::State& state) { runScript(state, "s = Math.abs(i);"); }
void BM_ScriptEmptyLoopFloor(benchmark::State& state) { runScript(state, ""); }

BENCHMARK(BM_FacadeGetChildContent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InvokeGetChildContent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScriptGetChildContent)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ScriptPropertyRead)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ScriptNativeCallFloor)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ScriptEmptyLoopFloor)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
