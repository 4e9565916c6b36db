#include "ati_harness.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

AtiHarness* current = nullptr;

struct InputEnd {};

void h_alloc(krn_msg** out, uint16_t size) { *out = current->alloc(size); }
krn_msg* h_try_alloc(uint16_t size) { return current->fail_try_alloc ? nullptr : current->alloc(size); }
uint16_t h_size(const krn_msg* m)
{
    auto it = current->live_.find(const_cast<krn_msg*>(m));
    return it == current->live_.end() ? 0 : it->second;
}

void h_free(krn_msg* m)
{
    auto it = current->timers_.find(m);
    if (it != current->timers_.end()) {
        AtiHarness::Timer* t = it->second;
        if (t->cyclic && t->state == AtiHarness::Timer::HELD) {
            t->state = AtiHarness::Timer::RUNNING;  // re-armed, block kept
            return;
        }
        if (t->state == AtiHarness::Timer::RUNNING && t->cyclic)
            return;
        current->timers_.erase(it);
    }
    current->release(m);
}

void h_send(uint8_t task, krn_msg* m)
{
    if (task == KRN_TASK_MAIN)
        current->to_main_.push_back(m);
    else
        current->inbox_.push_back(m);
}

void h_receive(uint8_t, krn_msg** out)
{
    if (current->inbox_.empty())
        throw InputEnd{};
    krn_msg* m = current->inbox_.front();
    current->inbox_.pop_front();
    auto it = current->timers_.find(m);
    if (it != current->timers_.end())
        it->second->state = it->second->cyclic ? AtiHarness::Timer::HELD : AtiHarness::Timer::DONE;
    *out = m;
}

void h_timer_alloc(krn_msg** out, uint16_t size)
{
    krn_msg* m = current->alloc(size);
    auto* t = new AtiHarness::Timer{m};
    current->timer_records_.push_back(t);
    current->timers_[m] = t;
    *out = m;
}

krn_timer* h_timer_start(krn_msg* m, uint32_t ticks, uint8_t cyclic, uint8_t)
{
    AtiHarness::Timer* t = current->timers_.at(m);
    if (t->state != AtiHarness::Timer::IDLE || ticks == 0)
        throw std::logic_error("timer started twice or with no ticks");
    t->ticks = ticks;
    t->cyclic = cyclic != 0;
    t->state = AtiHarness::Timer::RUNNING;
    return reinterpret_cast<krn_timer*>(t);
}

void h_timer_stop(krn_timer* handle)
{
    auto* t = reinterpret_cast<AtiHarness::Timer*>(handle);
    krn_msg* m = t->msg;
    switch (t->state) {
    case AtiHarness::Timer::RUNNING:
        current->timers_.erase(m);
        current->release(m);
        break;
    case AtiHarness::Timer::QUEUED:
        for (auto it = current->inbox_.begin(); it != current->inbox_.end(); ++it)
            if (*it == m) {
                current->inbox_.erase(it);
                break;
            }
        current->timers_.erase(m);
        current->release(m);
        break;
    case AtiHarness::Timer::HELD:
        t->state = AtiHarness::Timer::DONE;  // the receiver frees it
        current->timers_.erase(m);
        break;
    default:
        throw std::logic_error("stop of a timer that is not running");
    }
    t->state = AtiHarness::Timer::DONE;
}

void h_fatal(uint8_t cls, uint16_t code, uint16_t extra)
{
    throw std::runtime_error("fatal " + std::to_string(cls) + "/" + std::to_string(code) + "/" +
                             std::to_string(extra));
}

}  // namespace

AtiHarness::AtiHarness()
{
    current = this;
    ati_kernel.alloc = h_alloc;
    ati_kernel.try_alloc = h_try_alloc;
    ati_kernel.free = h_free;
    ati_kernel.msg_size = h_size;
    ati_kernel.send = h_send;
    ati_kernel.receive = h_receive;
    ati_kernel.timer_alloc = h_timer_alloc;
    ati_kernel.timer_start = h_timer_start;
    ati_kernel.timer_stop = h_timer_stop;
    ati_kernel.fatal = h_fatal;
    gv_SPIO_com_status = SPIO_com_available;
    ati_sms_mode = 1;
    ati_limits = {};
    ati_init();
}

AtiHarness::~AtiHarness()
{
    for (auto& [m, size] : live_)
        std::free(m);
    for (Timer* t : timer_records_)
        delete t;
    current = nullptr;
}

krn_msg* AtiHarness::alloc(uint16_t size)
{
    if (size == 0 || size > 1984)
        throw std::logic_error("bad allocation size " + std::to_string(size));
    auto* m = static_cast<krn_msg*>(std::calloc(1, size));
    live_[m] = size;
    return m;
}

void AtiHarness::release(krn_msg* m)
{
    if (!live_.erase(m))
        throw std::logic_error("free of a block that is not allocated");
    std::free(m);
}

void AtiHarness::request(uint8_t number, const std::vector<uint8_t>& params)
{
    krn_msg* m = alloc(static_cast<uint16_t>(2 + params.size()));
    m[0] = 0;
    m[1] = number;
    if (!params.empty())
        std::memcpy(m + 2, params.data(), params.size());
    inbox_.push_back(m);
}

void AtiHarness::feed(const std::string& bytes, size_t chunk)
{
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        size_t n = std::min(chunk, bytes.size() - at);
        krn_msg* m = alloc(static_cast<uint16_t>(4 + n));
        m[0] = 1;
        m[1] = 0;
        m[2] = static_cast<uint8_t>(n >> 8);
        m[3] = static_cast<uint8_t>(n);
        std::memcpy(m + 4, bytes.data() + at, n);
        inbox_.push_back(m);
    }
}

void AtiHarness::run()
{
    current = this;
    try {
        for (int i = 0; i < 100000; ++i)
            ati_step();
        throw std::logic_error("the task never waited for input");
    } catch (const InputEnd&) {
    }
}

bool AtiHarness::expire(uint16_t number)
{
    for (auto& [m, t] : timers_)
        if (t->state == Timer::RUNNING && krn_msg_number(m) == number) {
            t->state = Timer::QUEUED;
            inbox_.push_back(m);
            return true;
        }
    return false;
}

bool AtiHarness::timer_running(uint16_t number) const { return timer_ticks(number) != 0; }

uint32_t AtiHarness::timer_ticks(uint16_t number) const
{
    for (auto& [m, t] : timers_)
        if (t->state == Timer::RUNNING && krn_msg_number(m) == number)
            return t->ticks;
    return 0;
}

void AtiHarness::collect()
{
    for (krn_msg* m : to_main_) {
        uint16_t n = live_.at(m);
        pending_confirms_.emplace_back(m, m + n);
        h_free(m);
    }
    to_main_.clear();
}

std::string AtiHarness::output()
{
    collect();
    std::string text;
    std::vector<std::vector<uint8_t>> rest;
    for (auto& m : pending_confirms_) {
        if (m[0] == 1 && m[1] == 1)
            text.append(reinterpret_cast<const char*>(m.data() + 4), (m[2] << 8) | m[3]);
        else if (m[0] == 1 && m[1] == 2)
            text += "<BREAK>";
        else
            rest.push_back(m);
    }
    pending_confirms_ = rest;
    return text;
}

std::vector<std::vector<uint8_t>> AtiHarness::confirms()
{
    output();
    auto out = pending_confirms_;
    pending_confirms_.clear();
    return out;
}

std::string AtiHarness::confirm_summary()
{
    std::string s;
    for (auto& m : confirms()) {
        if (!s.empty())
            s += ' ';
        s += std::to_string(m[1]);
        if (m[1] == AT_CNF_RESULT)
            s += "/" + std::to_string(m[2]);
    }
    return s;
}

std::vector<uint8_t> lp(const std::string& text)
{
    std::vector<uint8_t> v(text.size() + 1);
    v[0] = static_cast<uint8_t>(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        v[i + 1] = static_cast<uint8_t>(text[i]);
    return v;
}

std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> v;
    for (auto& p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}
