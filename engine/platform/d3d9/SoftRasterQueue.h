// Draw calls carried out by worker threads. Every thread draws every call, in the order the
// calls came, into its own share of the target's rows (SoftRaster::RowShare), so the pixels
// are exactly those one thread drawing the calls in order would leave, at any thread count.
//
// A call is copied when it is queued, its vertices and indices included, so the caller may
// reuse that memory at once. The surfaces and textures it names are not copied: they must
// stay alive, and nobody else may read or write them, until the call is done (Wait). One
// thread feeds the queue.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/d3d9/SoftRaster.h"

namespace SoftRaster {

class Queue {
public:
    // Names a queued call; later calls have larger tickets, and 0 names none.
    using Ticket = uint64_t;
    enum class Result { kQueued, kRefused, kOutOfMemory };

    // threads at least 2; tickets start after the given one, so that a queue replacing another
    // goes on from its tickets. band: rows per band dealt out in turn, or 0 to give each
    // thread one band of its own per target.
    explicit Queue(int threads, Ticket after = 0, int band = 0);
    ~Queue();  // finishes every call first
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    int Threads() const { return count_; }

    // Queues what Draw with a vertex count would draw. The vertices lie stride bytes apart
    // (at least a Vertex's size; any alignment). Refused, with nothing queued, where that
    // Draw would refuse; kOutOfMemory when the copy cannot be made.
    Result Draw(const Surface& target, const State& state, Primitive kind, const uint8_t* vertices,
                uint32_t stride, uint32_t vertexCount, const void* indices, bool index32,
                uint32_t primitiveCount);
    Result Fill(const Surface& target, const Rect& rect, uint32_t argb);

    // The ticket of the last call queued (0 before the first).
    Ticket Last() const { return last_; }
    bool Done(Ticket ticket) const { return ticket <= done_.load(std::memory_order_acquire); }
    // Returns once the call and every call before it are drawn.
    void Wait(Ticket ticket);
    void Finish() { Wait(last_); }

private:
    struct Call;
    struct Batch;

    Result Add(Call& call, size_t vertexMark, size_t indexMark, size_t stateMark);
    void Publish();
    void Stop();
    void Run(int index);
    void Execute(const Batch& batch, int index) const;
    RowShare ShareOf(const Surface& target, int index) const;

    const int count_;
    const int band_;
    std::vector<std::thread> threads_;
    Ticket last_ = 0;
    Ticket publishedLast_ = 0;
    Batch* open_ = nullptr;               // the calls not yet handed to the threads
    std::atomic<size_t> outstanding_{0};  // batches published and not yet done

    std::mutex mutex_;
    std::condition_variable work_;  // a batch was published, or the threads are to stop
    std::condition_variable done_cv_;
    std::deque<Batch*> published_;  // oldest first; leaves when every thread has drawn it
    uint64_t firstPublished_ = 0;   // the number of published_.front() in publishing order
    std::vector<std::unique_ptr<Batch>> batches_;
    std::vector<Batch*> spare_;
    bool stop_ = false;
    std::atomic<Ticket> done_{0};
};

}  // namespace SoftRaster
