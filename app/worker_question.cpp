#include "app/worker_question.h"

#include <condition_variable>
#include <mutex>

namespace quillet::app {

struct WorkerQuestions::Shared {
    std::mutex mu;
    std::condition_variable answered;
    bool cancelled = false;  // guarded by mu
};

namespace {

struct Answer {
    bool given = false;  // both guarded by Shared::mu
    bool yes = false;
};

}  // namespace

WorkerQuestions::WorkerQuestions(ui::WindowLayer& windows) : windows_(windows), shared_(std::make_shared<Shared>()) {}

bool WorkerQuestions::ask(const std::string& text) {
    auto answer = std::make_shared<Answer>();
    {
        std::lock_guard lock(shared_->mu);
        if (shared_->cancelled) return false;
    }
    windows_.post([&windows = windows_, shared = shared_, answer, text] {
        bool cancelled = false;
        {
            std::lock_guard lock(shared->mu);
            cancelled = shared->cancelled;
        }
        const bool yes = !cancelled && windows.question_box(text);
        {
            std::lock_guard lock(shared->mu);
            answer->given = true;
            answer->yes = yes;
        }
        shared->answered.notify_all();
    });
    std::unique_lock lock(shared_->mu);
    shared_->answered.wait(lock, [&] { return answer->given || shared_->cancelled; });
    return answer->given && answer->yes && !shared_->cancelled;
}

void WorkerQuestions::cancel() {
    {
        std::lock_guard lock(shared_->mu);
        shared_->cancelled = true;
    }
    shared_->answered.notify_all();
}

void WorkerQuestions::allow() {
    std::lock_guard lock(shared_->mu);
    shared_->cancelled = false;
}

}  // namespace quillet::app
