// RunOrdered: Work(i) for every i below Count on up to Threads threads, the
// results handed to Deliver on the calling thread in index order as soon as
// each is ready. At most Window results wait ahead of the next to deliver.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

template <class TResult, class TWork, class TDeliver>
void RunOrdered(size_t Count, int Threads, TWork Work, TDeliver Deliver) {
    if (Threads <= 1 || Count <= 1) {
        for (size_t i = 0; i < Count; ++i) Deliver(i, Work(i));
        return;
    }
    const size_t Window = std::max<size_t>(64, (size_t)Threads * 8);
    std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<std::optional<TResult>> Ready;  // Ready[k] is result Delivered + k
    size_t Next = 0, Delivered = 0;
    std::vector<std::thread> Pool;
    for (int t = 0; t < std::min<int>(Threads, (int)Count); ++t)
        Pool.emplace_back([&] {
            std::unique_lock Lock(Mutex);
            for (;;) {
                Changed.wait(Lock, [&] { return Next >= Count || Next < Delivered + Window; });
                if (Next >= Count) return;
                const size_t i = Next++;
                Lock.unlock();
                TResult R = Work(i);
                Lock.lock();
                if (Ready.size() <= i - Delivered) Ready.resize(i - Delivered + 1);
                Ready[i - Delivered] = std::move(R);
                Changed.notify_all();
            }
        });
    std::unique_lock Lock(Mutex);
    while (Delivered < Count) {
        Changed.wait(Lock, [&] { return !Ready.empty() && Ready.front().has_value(); });
        TResult R = std::move(*Ready.front());
        Ready.pop_front();
        const size_t i = Delivered++;
        Changed.notify_all();
        Lock.unlock();
        Deliver(i, std::move(R));
        Lock.lock();
    }
    Lock.unlock();
    for (std::thread& T : Pool) T.join();
}
