// Builds and destroys a document tree of 1,000,000 nodes (a root, 999 records
// of 1000 fields each), every node with a tag, a content and two attributes.
// Reports nodes per second and the memory each node costs: the peak resident
// set growth of the first build in the fresh process, and the bytes in live
// blocks of the library's allocator.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <charconv>
#include <cstdint>

#include "base/Memory.h"
#include "tree/AttributeSet.h"
#include "base/BlockHeap.h"
#include "tree/TreeInfo.h"
#include "tree/TreeNode.h"

using namespace tarvex;

namespace {

constexpr int32_t kRecords = 999;
constexpr int32_t kFields = 1000;
constexpr int64_t kNodes = 1 + static_cast<int64_t>(kRecords) * (kFields + 1);

void decorate(TreeNode* node, int32_t serial) {
    char digits[16];
    char* end = std::to_chars(digits, digits + sizeof digits, serial).ptr;
    int32_t n = static_cast<int32_t>(end - digits);
    char content[32] = "value ";
    for (int32_t i = 0; i < n; ++i) content[6 + i] = digits[i];
    node->SetContent(content, 6 + n);
    AttributeSet* attrs = node->EnsureAttributes();
    attrs->Add("id", 2, digits, n);
    attrs->Add("type", 4, "text", 4);
}

TreeNode* buildTree() {
    int32_t serial = 0;
    TreeNode* root = TreeNode::NewTree("catalog", 7);
    decorate(root, serial++);
    for (int32_t r = 0; r < kRecords; ++r) {
        TreeNode* record = TreeNode::AddChild(root, "record", 6);
        decorate(record, serial++);
        for (int32_t f = 0; f < kFields; ++f) {
            TreeNode* field = TreeNode::AddChild(record, "field", 5);
            decorate(field, serial++);
        }
    }
    return root;
}

long peakRssKb() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Memory of one build, measured once, before any other build in the process.
struct MemoryCost {
    double rssBytesPerNode;
    double heapBytesPerNode;
};

MemoryCost measureFirstBuild() {
    long rssBefore = peakRssKb();
    TreeNode* root = buildTree();
    // What the tree's heap holds: its blocks and large pieces.
    size_t held = root->GetTree()->Heap()->HeldBytes();
    long rssAfter = peakRssKb();
    TreeNode::DestroyTree(root);
    return {static_cast<double>(rssAfter - rssBefore) * 1024.0 / kNodes, static_cast<double>(held) / kNodes};
}

void BM_BuildAndDestroyTree(benchmark::State& state) {
    static const MemoryCost cost = measureFirstBuild();
    for (auto _ : state) {
        TreeNode* root = buildTree();
        benchmark::DoNotOptimize(root);
        TreeNode::DestroyTree(root);
    }
    state.SetItemsProcessed(state.iterations() * kNodes);
    state.counters["rss_bytes_per_node"] = cost.rssBytesPerNode;
    state.counters["heap_bytes_per_node"] = cost.heapBytesPerNode;
    state.counters["nodes_per_second"] =
        benchmark::Counter(static_cast<double>(kNodes), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_BuildTree(benchmark::State& state) {
    for (auto _ : state) {
        TreeNode* root = buildTree();
        state.PauseTiming();
        TreeNode::DestroyTree(root);
        state.ResumeTiming();
    }
    state.counters["nodes_per_second"] =
        benchmark::Counter(static_cast<double>(kNodes), benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_BuildAndDestroyTree)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BuildTree)->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK_MAIN();
