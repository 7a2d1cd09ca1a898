// A thread of its own that runs jobs one at a time, in the order they were handed to it. A job
// is a value that carries its input and, once run, its outcome (TJob: movable, with void Run()
// noexcept). Begin hands a job to the thread and Take hands the oldest back done; in between only
// the thread holds it, so no order of calls can make the two sides touch one job at once. Up to
// kDepth jobs are held at a time. The hand-over is through a slim lock and a condition variable,
// which need no round trip through the system when nobody has to wait.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <optional>
#include <utility>

#include "win/handle.h"

namespace zarn {

template <class TJob, std::size_t kDepth = 1>
class TBackgroundWork {
public:
    TBackgroundWork() = default;
    TBackgroundWork(const TBackgroundWork&) = delete;
    TBackgroundWork& operator=(const TBackgroundWork&) = delete;
    ~TBackgroundWork() { Stop(); }

    // Hands a copy of the job to the thread, started with the first job, to run after those held.
    // False when kDepth jobs are held (not yet taken back) or no thread could be started: the
    // caller keeps its job.
    bool Begin(const TJob& job) {
        if (!thread_) {
            if (unavailable_) return false;
            thread_ = TObjectHandle(CreateThread(nullptr, 0, Main, this, 0, nullptr));
            if (!thread_) {
                unavailable_ = true;
                return false;
            }
        }
        AcquireSRWLockExclusive(&lock_);
        const bool free = held_ < kDepth;
        if (free) {
            const std::size_t slot = (first_ + held_) % kDepth;
            jobs_[slot].emplace(job);
            states_[slot] = TState::Handed;
            ++held_;
        }
        ReleaseSRWLockExclusive(&lock_);
        if (free) WakeAllConditionVariable(&changed_);
        return free;
    }

    // Waits for the oldest job held and hands it back, run; nothing when no job is held.
    std::optional<TJob> Take() noexcept {
        AcquireSRWLockExclusive(&lock_);
        std::optional<TJob> done;
        if (held_ > 0) {
            while (states_[first_] != TState::Done) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
            done = std::exchange(jobs_[first_], std::nullopt);
            states_[first_] = TState::Free;
            first_ = (first_ + 1) % kDepth;
            --held_;
        }
        ReleaseSRWLockExclusive(&lock_);
        return done;
    }

    // Waits until every job held has run; they stay held for Take.
    void Settle() noexcept {
        AcquireSRWLockExclusive(&lock_);
        WaitWhileRunning();
        ReleaseSRWLockExclusive(&lock_);
    }

    // Waits for the jobs held, drops them and ends the thread.
    void Stop() noexcept {
        if (!thread_) return;
        AcquireSRWLockExclusive(&lock_);
        WaitWhileRunning();
        for (std::size_t slot = 0; slot < kDepth; ++slot) {
            jobs_[slot].reset();
            states_[slot] = TState::Free;
        }
        first_ = next_ = held_ = 0;
        stop_ = true;
        ReleaseSRWLockExclusive(&lock_);
        WakeAllConditionVariable(&changed_);
        WaitForSingleObject(thread_.Get(), INFINITE);
        thread_ = TObjectHandle();
        stop_ = false;
    }

private:
    // Of a slot: Free, no job. Handed: its job waits for the thread. Running: the thread has it.
    // Done: the job run, waiting for Take.
    enum class TState { Free, Handed, Running, Done };

    void WaitWhileRunning() {  // with the lock held
        for (;;) {
            bool running = false;
            for (const TState state : states_) running |= state == TState::Handed || state == TState::Running;
            if (!running) return;
            SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
        }
    }

    static DWORD WINAPI Main(void* self) {
        auto& work = *static_cast<TBackgroundWork*>(self);
        AcquireSRWLockExclusive(&work.lock_);
        for (;;) {
            while (work.states_[work.next_] != TState::Handed && !work.stop_) {
                SleepConditionVariableSRW(&work.changed_, &work.lock_, INFINITE, 0);
            }
            if (work.stop_) break;
            const std::size_t slot = work.next_;
            work.next_ = (slot + 1) % kDepth;
            TJob job = std::move(*work.jobs_[slot]);
            work.jobs_[slot].reset();
            work.states_[slot] = TState::Running;
            ReleaseSRWLockExclusive(&work.lock_);
            job.Run();
            AcquireSRWLockExclusive(&work.lock_);
            work.jobs_[slot].emplace(std::move(job));
            work.states_[slot] = TState::Done;
            WakeAllConditionVariable(&work.changed_);
        }
        ReleaseSRWLockExclusive(&work.lock_);
        return 0;
    }

    TObjectHandle thread_;
    bool unavailable_ = false;  // no thread could be started; jobs are not handed over
    SRWLOCK lock_ = SRWLOCK_INIT;  // guards the fields below
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    // A ring of slots: the jobs held, oldest first, from first_; the thread runs next_'s job next.
    std::array<std::optional<TJob>, kDepth> jobs_;
    std::array<TState, kDepth> states_{};
    std::size_t first_ = 0, next_ = 0, held_ = 0;
    bool stop_ = false;
};

}  // namespace zarn
