#include "ModalGate.hpp"

#include <glib.h>

namespace lintara::glib {

ModalGate::ModalGate(GMainContext* context)
    : context_(context)
{
}

ModalGate::Session::Session(ModalGate& gate)
    : gate_(gate)
{
    ++gate_.depth_;
}

ModalGate::Session::~Session()
{
    --gate_.depth_;
    if (gate_.depth_ == 0) {
        // The gated sources decide in their prepare step; a wake-up makes the
        // loop prepare them again even if it was about to sleep.
        g_main_context_wakeup(gate_.context_);
    }
}

void ModalGate::runModalLoop(const std::function<bool()>& finished)
{
    const Session session(*this);
    while (!finished()) {
        g_main_context_iteration(context_, TRUE);
    }
}

} // namespace lintara::glib
