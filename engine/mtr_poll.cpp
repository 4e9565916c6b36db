// The poll queue's drain. Everything that reaches task 0 without being the
// answer of the running request waits here; the polling module installs the
// handler that turns each entry into a document callback or an engine step.
#include "engine_host.h"
#include "mtr_frame.h"

krn_queue gv_poll_queue{};
int gv_bCallMtrPoll = 1;

namespace {
mtr_poll_handler g_handler = nullptr;
}

void mtr_set_poll_handler(mtr_poll_handler handler) { g_handler = handler; }

void mtr_poll()
{
    if (!gv_bCallMtrPoll) {
        engine_trace("mtr_poll -> gv_bCallMtrPoll = FALSE, so nothing done");
        return;
    }
    engine_trace("mtr_poll -> gv_bCallMtrPoll = TRUE, so a treatment is done");
    // Entries are put in front: the oldest is at the back.
    while (krn_msg* m = krn_queue_take_back(&gv_poll_queue)) {
        if (g_handler)
            g_handler(m);
        krn_free(m);
    }
}
