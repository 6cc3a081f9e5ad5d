// Yes/No questions asked by a worker thread: shown on the window thread while the worker
// waits for the answer. A window that waits for its worker to end cancels first, since the
// window thread that would show a waiting question is then the one waiting for the worker:
// a question waiting then, or asked later, is answered No at once (a box already shown
// stays until answered, and its answer is dropped).
//
// Thread-safe: the state the worker and the window thread share is guarded by a mutex
// inside, and outlives this object for posted questions that run later.
#pragma once

#include <memory>
#include <string>

#include "ui/window_layer.h"

namespace quillet::app {

class WorkerQuestions {
  public:
    explicit WorkerQuestions(ui::WindowLayer& windows);

    // From a worker thread; true only for Yes.
    bool ask(const std::string& text);
    // On the window thread: answers No from now on, until allow().
    void cancel();
    // On the window thread, before a worker that may ask starts.
    void allow();

  private:
    struct Shared;
    ui::WindowLayer& windows_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace quillet::app
