// Benchmarks of the subtree search, the child sorts and child navigation on
// trees of 10^4, 10^5 and 10^6 nodes. The "per_node" counters give the time
// per visited node, so the slope across sizes shows at a glance.
#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "search/ChildSort.h"
#include "search/TreeSearch.h"
#include "base/ExtPtrArray.h"
#include "tree/TreeNode.h"
#include "tarvex/tarvex.hpp"

using tarvex::ChildSort;
using tarvex::TreeNode;
using tarvex::TreeSearch;

namespace {

struct TreeDeleter {
    void operator()(TreeNode* root) const { TreeNode::DestroyTree(root); }
};
using TreePtr = std::unique_ptr<TreeNode, TreeDeleter>;

void PerNode(benchmark::State& state, int64_t nodes) {
    state.counters["per_node"] = benchmark::Counter(
        static_cast<double>(nodes),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Records of one "rec" node with 9 field children each: `nodes` nodes in all
// (plus the root), three levels deep.
TreeNode* RecordTree(int64_t nodes) {
    static std::map<int64_t, TreePtr> cache;
    TreePtr& slot = cache[nodes];
    if (!slot) {
        slot.reset(TreeNode::NewTree("root"));
        const int64_t records = nodes / 10;
        for (int64_t r = 0; r < records; ++r) {
            TreeNode* rec = TreeNode::AddChild(slot.get(), "rec", "");
            for (int f = 0; f < 9; ++f) {
                const std::string content = "value " + std::to_string(r * 9 + f);
                TreeNode::AddChild(rec, f == 0 ? "name" : "field", content.c_str());
            }
        }
    }
    return slot.get();
}

// A root with `nodes` children in shuffled content order.
TreeNode* FlatTree(int64_t nodes) {
    static std::map<int64_t, TreePtr> cache;
    TreePtr& slot = cache[nodes];
    if (!slot) {
        std::vector<int64_t> order(static_cast<size_t>(nodes));
        for (int64_t i = 0; i < nodes; ++i) order[static_cast<size_t>(i)] = i;
        std::shuffle(order.begin(), order.end(), std::mt19937(12345));
        slot.reset(TreeNode::NewTree("root"));
        for (int64_t v : order) {
            const std::string content = "item-" + std::to_string(v);
            TreeNode::AddChild(slot.get(), "item", content.c_str());
        }
    }
    return slot.get();
}

void BM_SearchAllForContentNoMatch(benchmark::State& state) {
    TreeNode* root = RecordTree(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(TreeSearch::SearchAllForContent(root, nullptr, "*zz*q"));
    }
    PerNode(state, state.range(0));
}
BENCHMARK(BM_SearchAllForContentNoMatch)->Arg(10000)->Arg(100000)->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

void BM_SearchForTagNoMatch(benchmark::State& state) {
    TreeNode* root = RecordTree(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(TreeSearch::SearchForTag(root, nullptr, "absent"));
    }
    PerNode(state, state.range(0));
}
BENCHMARK(BM_SearchForTagNoMatch)->Arg(10000)->Arg(100000)->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// Restores the shuffled order before each timed sort.
void RestoreOrder(TreeNode* parent, const std::vector<TreeNode*>& order) {
    for (size_t i = 0; i < order.size(); ++i) parent->SetChild(static_cast<int32_t>(i), order[i]);
    TreeNode::RelinkSiblings(parent);
}

void BM_SortByContent(benchmark::State& state) {
    TreeNode* root = FlatTree(state.range(0));
    std::vector<TreeNode*> order;
    for (int32_t i = 0; i < root->NumChildren(); ++i) order.push_back(root->GetChild(i));
    for (auto _ : state) {
        state.PauseTiming();
        RestoreOrder(root, order);
        state.ResumeTiming();
        ChildSort::SortByContent(root, true);
    }
    RestoreOrder(root, order);
    PerNode(state, state.range(0));
}
BENCHMARK(BM_SortByContent)->Arg(10000)->Arg(100000)->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// Reference point: std::stable_sort of the same keys held as node pointer +
// std::string pairs.
void BM_StdStableSortSameKeys(benchmark::State& state) {
    TreeNode* root = FlatTree(state.range(0));
    struct Entry {
        TreeNode* node;
        std::string key;
    };
    std::vector<Entry> shuffled;
    for (int32_t i = 0; i < root->NumChildren(); ++i)
        shuffled.push_back({root->GetChild(i), root->GetChild(i)->GetContent()});
    std::vector<Entry> work;
    for (auto _ : state) {
        state.PauseTiming();
        work = shuffled;
        state.ResumeTiming();
        std::stable_sort(work.begin(), work.end(),
                         [](const Entry& a, const Entry& b) { return a.key < b.key; });
        benchmark::DoNotOptimize(work.data());
    }
    PerNode(state, state.range(0));
}
BENCHMARK(BM_StdStableSortSameKeys)->Arg(10000)->Arg(100000)->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

void BM_NavigateGetChild(benchmark::State& state) {
    TreeNode* root = FlatTree(state.range(0));
    for (auto _ : state) {
        const int32_t n = root->NumChildren();
        for (int32_t i = 0; i < n; ++i) benchmark::DoNotOptimize(root->GetChild(i));
    }
    PerNode(state, state.range(0));
}
BENCHMARK(BM_NavigateGetChild)->Arg(10000)->Arg(100000)->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

void BM_NavigateNextSibling(benchmark::State& state) {
    TreeNode* root = FlatTree(state.range(0));
    for (auto _ : state) {
        for (TreeNode* c = root->GetChild(0); c; c = c->GetNextSibling())
            benchmark::DoNotOptimize(c);
    }
    PerNode(state, state.range(0));
}
BENCHMARK(BM_NavigateNextSibling)->Arg(10000)->Arg(100000)->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// The same walk as a script makes it: one ITarvex cursor moved with
// FirstChild2 and NextSibling2, each a call through the interface.
void BM_ComponentNextSibling2(benchmark::State& state) {
    const int64_t nodes = state.range(0);
    std::string xml = "<root>";
    for (int64_t i = 0; i < nodes; ++i) xml += "<item>" + std::to_string(i) + "</item>";
    xml += "</root>";
    tarvex::Tarvex doc = tarvex::Tarvex::create();
    if (!doc.loadXml(xml)) {
        state.SkipWithError("load failed");
        return;
    }
    tarvex::Tarvex cursor = doc.root();
    for (auto _ : state) {
        LONG found = 0;
        cursor->GetRoot2();
        cursor->FirstChild2(&found);
        int64_t calls = 1;
        while (found) {
            cursor->NextSibling2(&found);
            ++calls;
        }
        benchmark::DoNotOptimize(calls);
    }
    PerNode(state, nodes);
    state.counters["calls_per_second"] = benchmark::Counter(
        static_cast<double>(nodes), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ComponentNextSibling2)->Arg(10000)->Arg(100000)->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
