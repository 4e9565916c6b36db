// Mobile-management requests of task 0 and the status icons.
#include "mtr_mmng.h"

#include "at_tables.h"
#include "engine_host.h"
#include "mmi_doc.h"
#include "mtr_frame.h"
#include "mtr_gen.h"
#include "mtr_poll.h"

namespace {

// The ranges of the phone's +CIND=? answer, by indicator event.
uint8_t g_low[AT_IND_EVT_COUNT];
uint8_t g_high[AT_IND_EVT_COUNT];

const char* const EVENT_NAMES[AT_IND_EVT_COUNT] = {
    "ALPHA", "BATTCHG", "CALL", nullptr, nullptr, nullptr, nullptr, "ME_STORAGE", "MESSAGE", "OFF_HOOK",
    nullptr, "ROAM", "SERVICE", "SIGNAL", "SIM_STORAGE", "SMSFULL", nullptr, nullptr, "VOICE_MAIL", nullptr,
};

// The signal indicator on the 0-4 scale of the status display, whatever
// range the phone uses for it.
int signal_level(uint8_t value)
{
    uint8_t lo = g_low[AT_IND_EVT_SIGNAL], hi = g_high[AT_IND_EVT_SIGNAL];
    if (hi <= lo)
        return value > 4 ? 4 : value;
    if (value <= lo)
        return 0;
    if (value >= hi)
        return 4;
    return (value - lo) * 4 / (hi - lo);
}

void battery_icon(uint8_t value)
{
    MmiDoc* doc = gv_pDoc;
    if (value == 0) {
        mtr_stop_animation(MTR_TIMER_BATTERY);
        gv_mtr_battery_mode = 2;
        doc->mmi_MNGT_battery_charge_ind(0);
        mtr_start_animation(MTR_TIMER_BATTERY, 0, 1);
    } else if (value <= 3) {
        doc->mmi_MNGT_battery_charge_ind(value);
        mtr_stop_animation(MTR_TIMER_BATTERY);
        gv_mtr_battery_mode = 0;
    } else if (value == 4) {
        mtr_stop_animation(MTR_TIMER_BATTERY);
        gv_mtr_battery_mode = 1;
        doc->mmi_MNGT_battery_charge_ind(1);
        mtr_start_animation(MTR_TIMER_BATTERY, 0, 1);
    }
}

void sms_full(uint8_t value)
{
    MmiDoc* doc = gv_pDoc;
    if (value == 1) {
        mtr_stop_animation(MTR_TIMER_MSG_ICON);
        gv_mtr_msg_icon_mode = 2;
        doc->mmi_MNGT_message_icon_ind(-1);
        mtr_start_animation(MTR_TIMER_MSG_ICON, 0, 1);
    } else if (value == 0) {
        doc->mmi_MNGT_message_icon_ind(0);
        mtr_stop_animation(MTR_TIMER_MSG_ICON);
        gv_mtr_msg_icon_mode = 0;
    }
    doc->mmi_MNGT_sms_full_ind(value);
}

}  // namespace

void mtr_MMNG_indicator_range(uint8_t event, uint8_t* low, uint8_t* high)
{
    *low = event < AT_IND_EVT_COUNT ? g_low[event] : 0;
    *high = event < AT_IND_EVT_COUNT ? g_high[event] : 0;
}

MTR_RESULT mtr_MMNG_set_operator_format(uint8_t format)
{
    krn_msg* req = mtr_new_request(AT_REQ_COPS_SET, 5);
    req[2] = 2;
    req[3] = 3;  // mode 3: set the format only
    req[4] = format;
    return mtr_request(req);
}

MTR_RESULT mtr_MMNG_get_operator_name(std::string& out)
{
    out.clear();
    mtr_MMNG_set_operator_format(0);
    std::string name;
    MTR_RESULT r = mtr_request_data(mtr_new_request(AT_REQ_COPS_GET), AT_CNF_COPS, [&](const krn_msg* d) {
        if (d[2] == 3)
            name.assign(reinterpret_cast<const char*>(d + 6), d[5]);
    });
    if (r == MTR_DONE)
        out = name;
    return r;
}

MTR_RESULT mtr_MMNG_set_event_reporting(uint8_t mode)
{
    krn_msg* req = mtr_new_request(AT_REQ_CMER_SET, 7);
    req[2] = 4;
    req[3] = 1;
    req[4] = 0;
    req[5] = 0;
    req[6] = mode;
    return mtr_request(req);
}

MTR_RESULT mtr_MMNG_setup()
{
    uint8_t low[AT_IND_EVT_COUNT] = {}, high[AT_IND_EVT_COUNT] = {};
    MTR_RESULT r = mtr_request_data(mtr_new_request(AT_REQ_CIND_TEST), AT_CNF_CIND_LIST, [&](const krn_msg* d) {
        uint16_t size = krn_msg_size(d);
        unsigned at = 3;
        for (unsigned i = 0; i < d[2] && at + 2u <= size; ++i) {
            uint8_t code = d[at], nr = d[at + 1];
            if (at + 2u + 2u * nr > size)
                break;
            if (code < AT_IND_EVT_COUNT && nr > 0) {
                low[code] = d[at + 2];
                high[code] = d[at + 2 + 2 * (nr - 1) + 1];
            }
            at += 2u + 2u * nr;
        }
    });
    if (r != MTR_DONE) {
        gv_mtr_icons_by_polling = 1;
        mtr_arm_poll_script();
        return r;
    }
    gv_mtr_icons_by_polling = 0;
    std::copy(low, low + AT_IND_EVT_COUNT, g_low);
    std::copy(high, high + AT_IND_EVT_COUNT, g_high);
    r = mtr_request_data(mtr_new_request(AT_REQ_CIND_GET), AT_CNF_CIND_VALUES, [&](const krn_msg* d) {
        uint16_t size = krn_msg_size(d);
        for (unsigned i = 0; i < d[2] && 4u + 2u * i < size; ++i)
            mtr_MMNG_update_icon(d[3 + 2 * i], d[4 + 2 * i]);
    });
    mtr_MMNG_set_event_reporting(1);
    engine_trace("mtr_MMNG_setup -> Activate event reporting: Icons will be updated by unsolicited indication");
    return r;
}

void mtr_MMNG_update_icon(uint8_t event, uint8_t value)
{
    MmiDoc* doc = gv_pDoc;
    if (!doc || !doc->IconUpdatesOn() || event >= AT_IND_EVT_COUNT || !EVENT_NAMES[event])
        return;
    engine_trace(std::string("mtr_MMNG_update_icon -> AT_IND_EVT_") + EVENT_NAMES[event] +
                 " with iconVal = " + std::to_string(value));
    switch (event) {
    case AT_IND_EVT_ALPHA: doc->mmi_MNGT_edit_mode_ind(value); break;
    case AT_IND_EVT_BATTCHG: battery_icon(value); break;
    case AT_IND_EVT_ME_STORAGE: doc->mmi_MNGT_me_storage_ind(value); break;
    case AT_IND_EVT_MESSAGE:
        doc->mmi_MNGT_unread_msg_ind(value);
        doc->mmi_MNGT_message_icon_ind(value);
        break;
    case AT_IND_EVT_OFF_HOOK: doc->mmi_MNGT_call_icon_ind(value); break;
    case AT_IND_EVT_ROAM: doc->mmi_MNGT_roaming_ind(value); break;
    case AT_IND_EVT_SIGNAL: doc->mmi_MNGT_signal_quality_ind(signal_level(value)); break;
    case AT_IND_EVT_SIM_STORAGE: doc->mmi_MNGT_sim_storage_ind(value); break;
    case AT_IND_EVT_SMSFULL: sms_full(value); break;
    case AT_IND_EVT_VOICE_MAIL: doc->mmi_MNGT_voice_mail_icon_ind(value); break;
    default: break;  // call, service: trace only
    }
}
