#include "SessionDoubles.h"

#include <algorithm>
#include <limits>

namespace vistrel::test {

QDateTime TestClock::now() const {
    return wallStart_.addMSecs(static_cast<qint64>((uptime_ - 1000.0) * 1000.0));
}

void TestClock::callAfter(double seconds, QObject* context, std::function<void()> work) {
    auto entry = std::make_shared<Entry>();
    entry->due = uptime_ + seconds;
    entry->context = context;
    entry->work = std::move(work);
    entries_.push_back(std::move(entry));
}

std::unique_ptr<QObject> TestClock::repeat(double seconds, QObject* context,
                                           std::function<void()> work) {
    auto handle = std::make_unique<QObject>();
    auto entry = std::make_shared<Entry>();
    entry->due = uptime_ + seconds;
    entry->interval = seconds;
    entry->context = context;
    entry->handle = handle.get();
    entry->work = std::move(work);
    entries_.push_back(std::move(entry));
    return handle;
}

void TestClock::advance(double seconds) {
    const double target = uptime_ + seconds;
    while (true) {
        std::erase_if(entries_, [](const std::shared_ptr<Entry>& entry) {
            return entry->done || !entry->context || (entry->interval > 0 && !entry->handle);
        });
        std::shared_ptr<Entry> next;
        for (const auto& entry : entries_) {
            if (entry->due <= target + 1e-9 && (!next || entry->due < next->due)) {
                next = entry;
            }
        }
        if (!next) {
            break;
        }
        uptime_ = std::max(uptime_, next->due);
        if (next->interval > 0) {
            next->due += next->interval;
        } else {
            next->done = true;
        }
        const std::function<void()> work = next->work;
        work();
    }
    uptime_ = target;
}

int TestClock::liveRepeats() const {
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(), [](const auto& entry) {
        return entry->interval > 0 && entry->handle && entry->context;
    }));
}

std::optional<QString> MemorySettings::string(const QString& key) const {
    const auto found = values.find(key);
    if (found == values.end()) {
        return std::nullopt;
    }
    return found->second;
}

void MemorySettings::setString(const QString& key, const QString& value) {
    values[key] = value;
}

void ScriptedChooser::choose(const CaptureLocationRequest& request, Completion completion) {
    requests.push_back(request);
    pending_ = std::move(completion);
}

void ScriptedChooser::cancel() {
    ++cancels;
    answer(std::nullopt);
}

bool ScriptedChooser::answer(std::optional<QString> path) {
    if (!pending_) {
        return false;
    }
    const Completion completion = std::exchange(pending_, nullptr);
    completion(std::move(path));
    return true;
}

namespace {
class CountedHold final : public ActivityHold {
public:
    explicit CountedHold(std::shared_ptr<int> live) : live_(std::move(live)) { ++*live_; }
    ~CountedHold() override { --*live_; }
    CountedHold(const CountedHold&) = delete;
    CountedHold& operator=(const CountedHold&) = delete;

private:
    std::shared_ptr<int> live_;
};
} // namespace

std::unique_ptr<ActivityHold> CountingInhibitor::begin(const QString& reason) {
    reasons << reason;
    return std::make_unique<CountedHold>(live);
}

} // namespace vistrel::test
