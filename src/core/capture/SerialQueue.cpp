#include "capture/SerialQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>

namespace vistrel {

struct SerialQueue::State {
    std::mutex lock; // guards `work` and `stopping`
    std::condition_variable wake;
    std::deque<std::function<void()>> work;
    bool stopping = false;
};

void SerialQueue::runLoop(const std::shared_ptr<State>& state) {
    for (;;) {
        std::function<void()> item;
        {
            std::unique_lock guard(state->lock);
            state->wake.wait(guard, [&] { return state->stopping || !state->work.empty(); });
            if (state->work.empty()) {
                return;
            }
            item = std::move(state->work.front());
            state->work.pop_front();
        }
        item();
        // Destroying the item may release the queue's owner; that happens here,
        // outside the lock, and only `state` is touched afterwards.
        item = nullptr;
    }
}

SerialQueue::SerialQueue(const std::string& name) : state_(std::make_shared<State>()) {
    thread_ = std::thread([state = state_, name] {
        pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
        runLoop(state);
    });
}

SerialQueue::~SerialQueue() {
    {
        const std::lock_guard guard(state_->lock);
        state_->stopping = true;
    }
    state_->wake.notify_one();
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

void SerialQueue::post(std::function<void()> work) {
    {
        const std::lock_guard guard(state_->lock);
        state_->work.push_back(std::move(work));
    }
    state_->wake.notify_one();
}

} // namespace vistrel
