// Binds the AT task to the real kernel.
#include "ati.h"

void ati_use_kernel()
{
    ati_kernel.alloc = krn_alloc;
    ati_kernel.try_alloc = krn_try_alloc;
    ati_kernel.free = krn_free;
    ati_kernel.msg_size = krn_msg_size;
    ati_kernel.send = krn_send;
    ati_kernel.receive = krn_receive;
    ati_kernel.timer_alloc = krn_timer_alloc;
    ati_kernel.timer_start = krn_timer_start;
    ati_kernel.timer_stop = krn_timer_stop;
    ati_kernel.fatal = krn_fatal;
    krn_set_ati_entry(ati_task_entry);
}
