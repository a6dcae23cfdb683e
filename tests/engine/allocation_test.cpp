// The allocator stays out of a run: the scratch acquires its memory when it is made, Init
// the point buffer once, Run and Draw nothing. The whole test program counts allocations through a
// replaced operator new.
#include "engine_test_support.h"
#include "kontur.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>

namespace {
std::atomic<long> allocationCount{0};
} // namespace

void* operator new(std::size_t size) {
    ++allocationCount;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
// The scratch's rows are over-aligned: their allocations take the aligned forms.
void* operator new(std::size_t size, std::align_val_t alignment) {
    ++allocationCount;
    const auto align = static_cast<std::size_t>(alignment);
    if (void* p = std::aligned_alloc(align, (size + align - 1) / align * align)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

namespace orvik {
namespace {

// Counts the canvas calls without storing anything.
class CountingCanvas final : public ContourCanvas {
public:
    void SelectRedPen() override {}
    void RestorePen() override {}
    void MoveTo(std::int32_t, std::int32_t) override { ++calls; }
    void LineTo(std::int32_t, std::int32_t) override { ++calls; }
    int calls = 0;
};

TEST(Allocation, InitAcquiresOneBufferAndRunAndDrawNone) {
    test::BoundImage image(200, 200, 90);
    const long beforeScratch = allocationCount;
    StepScratch scratch;
    EXPECT_EQ(allocationCount - beforeScratch, 1);
    int progress = 0;
    SetRunHooks(RunHooks{.StepProgress = [&progress] { ++progress; },
                         .ShowWaitCursor = [] {},
                         .RestoreCursor = [] {}});
    for (const std::int32_t model : {1, 2, 3, 4}) {
        KONTUR k;
        const long beforeInit = allocationCount;
        Init(k, 40, 50, 160, 150, model, 200, 0.2f, 0.1f, 50, 0.05f, -0.3f, 100, 0.5f, 1, 2, 300);
        EXPECT_EQ(allocationCount - beforeInit, 1) << "model " << model;
        const long beforeRun = allocationCount;
        orvik::Run(k, scratch);
        CountingCanvas canvas;
        Draw(k, canvas);
        EXPECT_EQ(allocationCount - beforeRun, 0) << "model " << model;
        EXPECT_EQ(k.Iteration, 300);
        EXPECT_EQ(canvas.calls, model == 4 ? 200 : 201);
    }
    EXPECT_EQ(progress, 4 * 30);
    SetRunHooks(RunHooks{});
}

} // namespace
} // namespace orvik
