// One named worker thread that runs posted work in order, one item at a time.
// The thread may outlive its owner: when the last reference to the owner is
// dropped by work running on the thread itself, the thread finishes that item
// and ends on its own instead of joining itself.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace vistrel {

class SerialQueue {
public:
    // `name` is the thread's name as the system shows it (at most 15 bytes).
    explicit SerialQueue(const std::string& name);
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;
    // Work still queued is run before the thread ends.
    ~SerialQueue();

    void post(std::function<void()> work);

private:
    struct State;
    static void runLoop(const std::shared_ptr<State>& state);
    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace vistrel
