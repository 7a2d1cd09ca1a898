// A thread of its own that runs one job at a time. A job is a value that carries its input and,
// once run, its outcome (TJob: movable, with void Run() noexcept). Begin hands a job to the
// thread and Take hands it back done; in between only the thread holds it, so no order of calls
// can make the two sides touch one job at once. The hand-over is through a slim lock and a
// condition variable, which need no round trip through the system when nobody has to wait.
#pragma once

#include <windows.h>

#include <optional>
#include <utility>

#include "win/handle.h"

namespace zarn {

template <class TJob>
class TBackgroundWork {
public:
    TBackgroundWork() = default;
    TBackgroundWork(const TBackgroundWork&) = delete;
    TBackgroundWork& operator=(const TBackgroundWork&) = delete;
    ~TBackgroundWork() { Stop(); }

    // Hands a copy of the job to the thread, started with the first job. False when a job is
    // still held (not yet taken back) or no thread could be started: the caller keeps its job.
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
        const bool free = state_ == TState::Free;
        if (free) {
            job_.emplace(job);
            state_ = TState::Handed;
        }
        ReleaseSRWLockExclusive(&lock_);
        if (free) WakeAllConditionVariable(&changed_);
        return free;
    }

    // Waits for the job held and hands it back, run; nothing when no job is held.
    std::optional<TJob> Take() noexcept {
        AcquireSRWLockExclusive(&lock_);
        WaitWhileRunning();
        std::optional<TJob> done = std::exchange(job_, std::nullopt);
        state_ = TState::Free;
        ReleaseSRWLockExclusive(&lock_);
        return done;
    }

    // Waits until the job held, if any, has run; it stays held for Take.
    void Settle() noexcept {
        AcquireSRWLockExclusive(&lock_);
        WaitWhileRunning();
        ReleaseSRWLockExclusive(&lock_);
    }

    // Waits for the job held, drops it and ends the thread.
    void Stop() noexcept {
        if (!thread_) return;
        AcquireSRWLockExclusive(&lock_);
        WaitWhileRunning();
        job_.reset();
        state_ = TState::Free;
        stop_ = true;
        ReleaseSRWLockExclusive(&lock_);
        WakeAllConditionVariable(&changed_);
        WaitForSingleObject(thread_.Get(), INFINITE);
        thread_ = TObjectHandle();
        stop_ = false;
    }

private:
    // Free: no job. Handed: job_ waits for the thread. Running: the thread has it. Done: job_ is
    // the job run, waiting for Take.
    enum class TState { Free, Handed, Running, Done };

    void WaitWhileRunning() {  // with the lock held
        while (state_ == TState::Handed || state_ == TState::Running) {
            SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
        }
    }

    static DWORD WINAPI Main(void* self) {
        auto& work = *static_cast<TBackgroundWork*>(self);
        AcquireSRWLockExclusive(&work.lock_);
        for (;;) {
            while (work.state_ != TState::Handed && !work.stop_) {
                SleepConditionVariableSRW(&work.changed_, &work.lock_, INFINITE, 0);
            }
            if (work.stop_) break;
            TJob job = std::move(*work.job_);
            work.job_.reset();
            work.state_ = TState::Running;
            ReleaseSRWLockExclusive(&work.lock_);
            job.Run();
            AcquireSRWLockExclusive(&work.lock_);
            work.job_.emplace(std::move(job));
            work.state_ = TState::Done;
            WakeAllConditionVariable(&work.changed_);
        }
        ReleaseSRWLockExclusive(&work.lock_);
        return 0;
    }

    TObjectHandle thread_;
    bool unavailable_ = false;  // no thread could be started; jobs are not handed over
    SRWLOCK lock_ = SRWLOCK_INIT;  // guards the fields below
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    std::optional<TJob> job_;
    TState state_ = TState::Free;
    bool stop_ = false;
};

}  // namespace zarn
