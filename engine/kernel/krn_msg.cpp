// Kernel messages: the four static pools, mailboxes and the general queue.
// No message ever comes from the general heap.

#include "krn_internal.h"

#include "engine_host.h"

#include <cstring>
#include <string>

namespace krn_detail {

namespace {

struct pool_record {
    uint16_t blocks;
    uint16_t block_size;
};

constexpr pool_record kPoolTable[kPoolCount] = {
    {100, 80},
    {50, 112},
    {43, 176},
    {35, 2000},
};

constexpr size_t pool_bytes(int p) { return size_t(kPoolTable[p].blocks) * kPoolTable[p].block_size; }
constexpr size_t kPoolOffset[kPoolCount + 1] = {
    0,
    pool_bytes(0),
    pool_bytes(0) + pool_bytes(1),
    pool_bytes(0) + pool_bytes(1) + pool_bytes(2),
    pool_bytes(0) + pool_bytes(1) + pool_bytes(2) + pool_bytes(3),
};
constexpr size_t kArenaSize = kPoolOffset[kPoolCount];

// Every block size is a multiple of 16, so every user area is 16-aligned.
alignas(16) uint8_t g_arena[kArenaSize];

struct krn_pool {
    uint16_t free_count;
    uint16_t usable;
    block_header* free_head;
};

krn_pool g_pools[kPoolCount];
mailbox g_mailboxes[KRN_TASK_COUNT];

block_header* header_at(size_t offset) { return reinterpret_cast<block_header*>(g_arena + offset); }

block_header* queue_header(void* p) { return static_cast<block_header*>(p); }

}  // namespace

uint32_t ref_of(const block_header* h)
{
    if (h == nullptr)
        return 0;
    return static_cast<uint32_t>(reinterpret_cast<const uint8_t*>(h) - g_arena) + kHeaderSize;
}

block_header* header_of_ref(uint32_t ref)
{
    if (ref < kHeaderSize || ref > kArenaSize)
        return nullptr;
    return header_at(ref - kHeaderSize);
}

block_header* header_of(const krn_msg* msg)
{
    if (msg < g_arena + kHeaderSize || msg >= g_arena + kArenaSize)
        return nullptr;
    const size_t offset = static_cast<size_t>(msg - g_arena) - kHeaderSize;
    for (int p = 0; p < kPoolCount; ++p) {
        if (offset < kPoolOffset[p + 1]) {
            if ((offset - kPoolOffset[p]) % kPoolTable[p].block_size != 0)
                return nullptr;
            return header_at(offset);
        }
    }
    return nullptr;
}

void pools_init()
{
    for (int p = 0; p < kPoolCount; ++p) {
        krn_pool& pool = g_pools[p];
        pool.free_count = kPoolTable[p].blocks;
        pool.usable = static_cast<uint16_t>(kPoolTable[p].block_size - kHeaderSize);
        pool.free_head = header_at(kPoolOffset[p]);
        for (uint16_t i = 0; i < kPoolTable[p].blocks; ++i) {
            block_header* h = header_at(kPoolOffset[p] + size_t(i) * kPoolTable[p].block_size);
            h->pool = static_cast<uint16_t>(p);
            h->state = 'F';
            h->spare = 0xFF;
            h->size = 0;
            h->reserved = 0;
            h->prev = 0;
            h->next = (i + 1 < kPoolTable[p].blocks)
                          ? ref_of(header_at(kPoolOffset[p] + size_t(i + 1) * kPoolTable[p].block_size))
                          : 0;
        }
    }
}

block_header* pool_take(int p, uint16_t size)
{
    krn_pool& pool = g_pools[p];
    block_header* h = pool.free_head;
    if (h == nullptr) {
        // The count says a block is free but the chain has ended: a block
        // was written to after it went back to its pool. The pool is taken
        // as empty from now on, so that the caller reports it (fatal 0x1030,
        // or nullptr from krn_try_alloc) instead of following a null link.
        engine_trace("kernel: pool " + std::to_string(p) + " has no free block left although " +
                     std::to_string(pool.free_count) + " were counted free");
        pool.free_count = 0;
        return nullptr;
    }
    pool.free_head = header_of_ref(h->next);
    --pool.free_count;
    h->next = 0;
    h->prev = 0;
    h->state = 'U';
    h->size = size;
    return h;
}

void pool_put(block_header* h)
{
    krn_pool& pool = g_pools[h->pool];
    h->state = 'F';
    h->prev = 0;
    h->next = ref_of(pool.free_head);
    pool.free_head = h;
    ++pool.free_count;
}

void mailboxes_init()
{
    for (auto& m : g_mailboxes)
        m = mailbox{nullptr, nullptr, nullptr, 0};
}

bool mailbox_unlink(uint8_t task_id, block_header* h)
{
    if (task_id >= KRN_TASK_COUNT)
        return false;
    mailbox& m = g_mailboxes[task_id];
    block_header* prev = nullptr;
    for (block_header* cur = m.head; cur != nullptr; prev = cur, cur = header_of_ref(cur->next)) {
        if (cur != h)
            continue;
        block_header* next = header_of_ref(cur->next);
        if (prev != nullptr)
            prev->next = cur->next;
        else
            m.head = next;
        if (m.tail == cur)
            m.tail = prev;
        cur->next = 0;
        return true;
    }
    return false;
}

}  // namespace krn_detail

using namespace krn_detail;

// ---- Pools -----------------------------------------------------------------------

void krn_alloc(krn_msg** out, uint16_t size)
{
    if (size == 0)
        krn_fatal(1, KRN_ERR_SIZE_ZERO, 0);
    int p = 0;
    while (p < kPoolCount && size > g_pools[p].usable)
        ++p;
    if (p == kPoolCount)
        krn_fatal(1, KRN_ERR_SIZE_TOO_LARGE, size);
    lock_section lock;
    // No fall-back to a larger pool: running out of small blocks means a
    // message leak or a flood, which must not go unnoticed.
    block_header* h = g_pools[p].free_count != 0 ? pool_take(p, size) : nullptr;
    if (h == nullptr)
        krn_fatal(1, KRN_ERR_POOL_EMPTY, static_cast<uint16_t>(p));
    *out = user_of(h);
}

krn_msg* krn_try_alloc(uint16_t size)
{
    if (size == 0 || size > kMaxUsable)
        return nullptr;
    lock_section lock;
    for (int p = 0; p < kPoolCount; ++p)
        if (size <= g_pools[p].usable && g_pools[p].free_count != 0)
            if (block_header* h = pool_take(p, size))
                return user_of(h);
    return nullptr;
}

uint16_t krn_msg_size(const krn_msg* msg)
{
    lock_section lock;
    const block_header* h = header_of(msg);
    if (h == nullptr)
        return 0;
    if (is_timer_state(h->state))
        return static_cast<uint16_t>(h->size - kHeaderSize);
    return h->state == 'F' ? 0 : h->size;
}

void krn_free(krn_msg* msg)
{
    lock_section lock;
    block_header* h = header_of(msg);
    if (h == nullptr)
        return;
    switch (h->state) {
    case 'R':
    case 'C':
        return;  // a running timer keeps its message
    case 'M':
        h->state = 'R';  // the receiver is done with a re-armed cyclic timer
        return;
    case 'F':
        return;  // already free: a second free must not chain the block twice
    default:
        pool_put(h);
    }
}

uint16_t krn_pool_free(int pool)
{
    lock_section lock;
    if (pool < 0 || pool >= kPoolCount)
        return 0;
    return g_pools[pool].free_count;
}

// ---- Mailboxes -------------------------------------------------------------------

void krn_send(uint8_t task_id, krn_msg* msg)
{
    lock_section lock;
    block_header* h = header_of(msg);
    if (h == nullptr)
        return;
    if (task_id >= KRN_TASK_COUNT) {
        krn_free(msg);
        return;
    }
    mailbox& m = g_mailboxes[task_id];
    h->next = 0;
    if (m.head != nullptr) {
        m.tail->next = ref_of(h);
        m.tail = h;
        return;
    }
    m.head = h;
    m.tail = h;
    if (m.owner != nullptr)
        wake(m.owner);
}

void krn_receive(uint8_t task_id, krn_msg** out)
{
    lock_section lock;
    *out = nullptr;
    if (task_id >= KRN_TASK_COUNT)
        return;
    mailbox& m = g_mailboxes[task_id];
    if (m.owner == nullptr)
        m.owner = running_task();
    while (m.head == nullptr)
        block(task_id);
    block_header* h = m.head;
    m.head = header_of_ref(h->next);
    if (m.head == nullptr)
        m.tail = nullptr;
    h->next = 0;
    if (h->state == 'C') {
        h->state = 'M';
        timer_rearm(h);
    }
    *out = user_of(h);
}

bool krn_mbx_empty(uint8_t task_id)
{
    lock_section lock;
    return task_id >= KRN_TASK_COUNT || g_mailboxes[task_id].head == nullptr;
}

int krn_mbx_owner(uint8_t task_id)
{
    lock_section lock;
    if (task_id >= KRN_TASK_COUNT || g_mailboxes[task_id].owner == nullptr)
        return -1;
    return g_mailboxes[task_id].owner->id;
}

// ---- General queue -------------------------------------------------------------
// Blocks are chained both ways: next towards the tail, prev towards the head.

void krn_queue_init(krn_queue* q)
{
    lock_section lock;
    q->head = nullptr;
    q->tail = nullptr;
    q->count = 0;
}

uint16_t krn_queue_count(const krn_queue* q)
{
    lock_section lock;
    return q->count;
}

void krn_queue_put_front(krn_queue* q, krn_msg* msg)
{
    lock_section lock;
    block_header* h = header_of(msg);
    if (h == nullptr)
        return;
    block_header* head = queue_header(q->head);
    h->prev = 0;
    h->next = ref_of(head);
    if (head != nullptr)
        head->prev = ref_of(h);
    else
        q->tail = h;
    q->head = h;
    ++q->count;
}

krn_msg* krn_queue_take_back(krn_queue* q)
{
    lock_section lock;
    block_header* h = queue_header(q->tail);
    if (h == nullptr)
        return nullptr;
    block_header* prev = header_of_ref(h->prev);
    q->tail = prev;
    if (prev != nullptr)
        prev->next = 0;
    else
        q->head = nullptr;
    h->next = h->prev = 0;
    --q->count;
    return user_of(h);
}

krn_msg* krn_queue_take_front(krn_queue* q)
{
    lock_section lock;
    block_header* h = queue_header(q->head);
    if (h == nullptr)
        return nullptr;
    block_header* next = header_of_ref(h->next);
    q->head = next;
    if (next != nullptr)
        next->prev = 0;
    else
        q->tail = nullptr;
    h->next = h->prev = 0;
    --q->count;
    return user_of(h);
}

void krn_queue_remove(krn_queue* q, krn_msg* msg)
{
    lock_section lock;
    block_header* h = header_of(msg);
    if (h == nullptr)
        return;
    // Only a message of this queue is unlinked; any other would corrupt it.
    block_header* cur = queue_header(q->head);
    while (cur != nullptr && cur != h)
        cur = header_of_ref(cur->next);
    if (cur == nullptr)
        return;
    block_header* prev = header_of_ref(h->prev);
    block_header* next = header_of_ref(h->next);
    if (prev != nullptr)
        prev->next = h->next;
    else
        q->head = next;
    if (next != nullptr)
        next->prev = h->prev;
    else
        q->tail = prev;
    h->next = h->prev = 0;
    --q->count;
}

krn_msg* krn_queue_first(const krn_queue* q)
{
    lock_section lock;
    return q->head != nullptr ? user_of(static_cast<block_header*>(q->head)) : nullptr;
}

krn_msg* krn_queue_next(const krn_queue* q, const krn_msg* msg)
{
    (void)q;
    lock_section lock;
    block_header* h = header_of(msg);
    if (h == nullptr)
        return nullptr;
    block_header* next = header_of_ref(h->next);
    return next != nullptr ? user_of(next) : nullptr;
}
