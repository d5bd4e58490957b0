// Calls gather in a batch that the feeding thread fills; a full batch (or one that someone waits
// for) is published, and every worker draws it in its turn. A batch is done when the last
// worker has drawn it, and since each worker takes the batches in order, batches are done in
// the order they were published.
#include "platform/d3d9/SoftRasterQueue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/d3d9/SoftRasterPipeline.h"

namespace SoftRaster {

struct Queue::Call {
    enum What : uint8_t { kDraw, kFill } Kind = kDraw;
    Primitive Primitives = kTriangleList;
    bool Indexed = false;
    Surface Target;
    uint32_t StateIndex = 0;
    size_t FirstVertex = 0;
    size_t FirstIndex = 0;
    uint32_t PrimitiveCount = 0;
    int Top = 0, Bottom = 0;  // the rows the call may touch
    Rect Area{0, 0, 0, 0};
    uint32_t Color = 0;
};

struct Queue::Batch {
    std::vector<Call> Calls;
    std::vector<State> States;
    std::vector<Vertex> Vertices;
    std::vector<uint32_t> Indices;
    Ticket Last = 0;
    uint64_t Work = 0;  // roughly, primitives
    std::atomic<int> Left{0};
    void Clear() {
        Calls.clear();
        States.clear();
        Vertices.clear();
        Indices.clear();
        Work = 0;
        // One huge call should not keep its memory for as long as the batch lives.
        constexpr size_t kKeptBytes = size_t(4) << 20;
        if (Vertices.capacity() * sizeof(Vertex) > kKeptBytes) std::vector<Vertex>().swap(Vertices);
        if (Indices.capacity() * sizeof(uint32_t) > kKeptBytes)
            std::vector<uint32_t>().swap(Indices);
    }
};

namespace {

// A batch goes to the threads once it holds this much work; sooner while they have none, so
// that they start on a frame early. Each publication wakes the threads, which costs about as
// much as drawing a few sprites.
constexpr uint64_t kBatchWork = 512;
constexpr uint64_t kIdleBatchWork = 32;
// How many batches may wait for the threads before the feeding thread waits for them: enough
// to keep them busy, few enough to bound the memory held by copies.
constexpr size_t kMaxPublished = 64;

// The rows the vertices can reach, or every row.
void RowsReached(const Vertex* v, size_t n, int& top, int& bottom) {
    float lo = v[0].Y, hi = v[0].Y;
    for (size_t i = 1; i < n; ++i) {
        lo = std::min(lo, v[i].Y);
        hi = std::max(hi, v[i].Y);
    }
    if (detail::RowsReached(lo, hi, top, bottom)) return;
    top = 0;
    bottom = 0x7FFFFFFF;
}

}  // namespace

Queue::Queue(int threads, Ticket after, int band)
    : count_(std::max(threads, 2)), band_(band), last_(after), publishedLast_(after), done_(after) {
    // Every batch is published, open or spare, so with room for all of them the workers never
    // need memory to hand a batch back.
    batches_.reserve(kMaxPublished + 1);
    spare_.reserve(kMaxPublished + 1);
    batches_.push_back(std::make_unique<Batch>());
    open_ = batches_.back().get();
    threads_.reserve(size_t(count_));
    try {
        for (int i = 0; i < count_; ++i) threads_.emplace_back(&Queue::Run, this, i);
    } catch (...) {
        Stop();
        throw;
    }
}

Queue::~Queue() {
    Finish();
    Stop();
}

void Queue::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
}

RowShare Queue::ShareOf(const Surface& target, int index) const {
    RowShare rows;
    rows.Count = Threads();
    rows.Index = index;
    rows.Band = band_ > 0 ? band_ : std::max(1, (target.Height + rows.Count - 1) / rows.Count);
    return rows;
}

Queue::Result Queue::Draw(const Surface& target, const State& state, Primitive kind,
                          const uint8_t* vertices, uint32_t stride, uint32_t vertexCount,
                          const void* indices, bool index32, uint32_t primitiveCount) {
    if (kind < kPointList || kind > kTriangleFan) return Result::kRefused;
    if (primitiveCount == 0) return Result::kQueued;
    if (vertices == nullptr || stride < sizeof(Vertex) || !detail::ValidSurface(target))
        return Result::kRefused;
    const uint32_t needed = VerticesNeeded(kind, primitiveCount);
    // Only the vertices the indices reach are copied, and the indices made relative to them.
    uint32_t first = 0, last = needed - 1;
    if (indices != nullptr) {
        first = 0xFFFFFFFFu;
        last = 0;
        for (uint32_t i = 0; i < needed; ++i) {
            const uint32_t k = detail::IndexAt(indices, index32, i);
            first = std::min(first, k);
            last = std::max(last, k);
        }
    }
    if (last >= vertexCount) return Result::kRefused;

    Batch& b = *open_;
    Call call;
    call.Kind = Call::kDraw;
    call.Primitives = kind;
    call.Target = target;
    call.PrimitiveCount = primitiveCount;
    call.FirstVertex = b.Vertices.size();
    call.StateIndex = uint32_t(b.States.size());
    const size_t vertexMark = b.Vertices.size(), indexMark = b.Indices.size();
    const size_t stateMark = b.States.size();
    try {
        b.States.push_back(state);
        const size_t count = size_t(last) - first + 1;
        b.Vertices.resize(vertexMark + count);
        const uint8_t* from = vertices + size_t(first) * stride;
        if (stride == sizeof(Vertex)) {
            std::memcpy(&b.Vertices[vertexMark], from, count * sizeof(Vertex));
        } else {
            for (size_t i = 0; i < count; ++i)
                std::memcpy(&b.Vertices[vertexMark + i], from + i * stride, sizeof(Vertex));
        }
        if (indices != nullptr) {
            call.Indexed = true;
            call.FirstIndex = indexMark;
            b.Indices.resize(indexMark + needed);
            for (uint32_t i = 0; i < needed; ++i)
                b.Indices[indexMark + i] = detail::IndexAt(indices, index32, i) - first;
        }
        RowsReached(&b.Vertices[vertexMark], count, call.Top, call.Bottom);
    } catch (const std::bad_alloc&) {
        b.States.resize(stateMark);
        b.Vertices.resize(vertexMark);
        b.Indices.resize(indexMark);
        return Result::kOutOfMemory;
    }
    b.Work += primitiveCount;
    return Add(call, vertexMark, indexMark, stateMark);
}

Queue::Result Queue::Fill(const Surface& target, const Rect& rect, uint32_t argb) {
    if (!detail::ValidSurface(target)) return Result::kQueued;
    Call call;
    call.Kind = Call::kFill;
    call.Target = target;
    call.Area = rect;
    call.Color = argb;
    call.Top = rect.Top;
    call.Bottom = rect.Bottom - 1;
    Batch& b = *open_;
    // A clear costs about as much as a sprite per thousand pixels.
    const int64_t area = int64_t(std::max(0, std::min(rect.Right, target.Width) - rect.Left)) *
                         std::max(0, std::min(rect.Bottom, target.Height) - rect.Top);
    b.Work += uint64_t(std::max<int64_t>(area / 1024, 1));
    return Add(call, b.Vertices.size(), b.Indices.size(), b.States.size());
}

Queue::Result Queue::Add(Call& call, size_t vertexMark, size_t indexMark, size_t stateMark) {
    Batch& b = *open_;
    try {
        b.Calls.push_back(call);
    } catch (const std::bad_alloc&) {
        b.States.resize(stateMark);
        b.Vertices.resize(vertexMark);
        b.Indices.resize(indexMark);
        return Result::kOutOfMemory;
    }
    b.Last = ++last_;
    const bool idle = outstanding_.load(std::memory_order_relaxed) == 0;
    if (b.Work >= (idle ? kIdleBatchWork : kBatchWork)) Publish();
    return Result::kQueued;
}

void Queue::Publish() {
    if (open_->Calls.empty()) return;
    std::unique_lock<std::mutex> lock(mutex_);
    done_cv_.wait(lock, [&] { return published_.size() < kMaxPublished; });
    open_->Left.store(Threads(), std::memory_order_relaxed);
    published_.push_back(open_);
    publishedLast_ = open_->Last;
    outstanding_.fetch_add(1, std::memory_order_relaxed);
    Batch* next = nullptr;
    if (!spare_.empty()) {
        next = spare_.back();
        spare_.pop_back();
    }
    lock.unlock();
    work_.notify_all();
    if (next == nullptr && batches_.size() < kMaxPublished + 1) {
        try {
            batches_.push_back(std::make_unique<Batch>());
            next = batches_.back().get();
        } catch (const std::bad_alloc&) {
        }
    }
    if (next == nullptr) {
        // Every batch is out (or there is no memory for another): wait for one to come back.
        lock.lock();
        done_cv_.wait(lock, [&] { return !spare_.empty(); });
        next = spare_.back();
        spare_.pop_back();
    }
    next->Clear();
    open_ = next;
}

void Queue::Wait(Ticket ticket) {
    ticket = std::min(ticket, last_);
    if (Done(ticket)) return;
    if (ticket > publishedLast_) Publish();
    std::unique_lock<std::mutex> lock(mutex_);
    done_cv_.wait(lock, [&] { return Done(ticket); });
}

void Queue::Execute(const Batch& batch, int index) const {
    for (const Call& c : batch.Calls) {
        const RowShare rows = ShareOf(c.Target, index);
        if (!rows.Meets(c.Top, c.Bottom)) continue;
        if (c.Kind == Call::kFill) {
            SoftRaster::Fill(c.Target, c.Area, c.Color, rows);
            continue;
        }
        SoftRaster::Draw(
            c.Target, batch.States[c.StateIndex], c.Primitives, &batch.Vertices[c.FirstVertex],
            c.Indexed ? &batch.Indices[c.FirstIndex] : nullptr, true, c.PrimitiveCount, rows);
    }
}

void Queue::Run(int index) {
    uint64_t next = 0;  // the number of the next batch to draw
    for (;;) {
        Batch* batch;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_.wait(lock, [&] { return stop_ || next < firstPublished_ + published_.size(); });
            if (next >= firstPublished_ + published_.size()) return;
            batch = published_[size_t(next - firstPublished_)];
        }
        Execute(*batch, index);
        ++next;
        if (batch->Left.fetch_sub(1, std::memory_order_acq_rel) != 1) continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            while (!published_.empty() &&
                   published_.front()->Left.load(std::memory_order_acquire) == 0) {
                done_.store(published_.front()->Last, std::memory_order_release);
                spare_.push_back(published_.front());
                published_.pop_front();
                ++firstPublished_;
                outstanding_.fetch_sub(1, std::memory_order_relaxed);
            }
        }
        done_cv_.notify_all();
    }
}

}  // namespace SoftRaster
