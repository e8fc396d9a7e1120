// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/ts_queue.h>

#include <pthread.h>
#include <stdlib.h>

enum { TS_QUEUE_BLOCK_ITEMS = 32 };

/* Elements are carved out of blocks; the blocks are chained so that destroy can free them. */
typedef struct ts_queue_block {
    struct ts_queue_block* next;
    ts_queue_item items[TS_QUEUE_BLOCK_ITEMS];
} ts_queue_block;

struct ts_queue {
    ts_queue_item* head;
    ts_queue_item* tail;
    pthread_mutex_t mutex;
    ts_queue_item* free_list;
    pthread_mutex_t free_mutex;
    int count;
    ts_queue_block* blocks;
};

ts_queue* ts_queue_create(void)
{
    ts_queue* q = malloc(sizeof(ts_queue));
    if (q && ts_queue_init(q) != 0) {
        free(q);
        return NULL;
    }
    return q;
}

int ts_queue_init(ts_queue* q)
{
    if (!q)
        return -1;
    if (pthread_mutex_init(&q->mutex, NULL) != 0)
        return -1;
    if (pthread_mutex_init(&q->free_mutex, NULL) != 0) {
        pthread_mutex_destroy(&q->mutex);
        return -1;
    }
    q->head = q->tail = q->free_list = NULL;
    q->count = 0;
    q->blocks = NULL;
    return 0;
}

void ts_queue_destroy(ts_queue* q)
{
    if (!q)
        return;
    while (q->blocks) {
        ts_queue_block* next = q->blocks->next;
        free(q->blocks);
        q->blocks = next;
    }
    pthread_mutex_destroy(&q->mutex);
    pthread_mutex_destroy(&q->free_mutex);
    free(q);
}

/* Called with the free-list mutex held: one allocation serves the next 32 requests. */
static ts_queue_item* ts_queue_grow(ts_queue* q)
{
    ts_queue_block* block = malloc(sizeof(ts_queue_block));
    if (!block)
        return NULL;
    block->next = q->blocks;
    q->blocks = block;
    for (int i = 1; i < TS_QUEUE_BLOCK_ITEMS - 1; ++i)
        block->items[i].next = &block->items[i + 1];
    block->items[TS_QUEUE_BLOCK_ITEMS - 1].next = q->free_list;
    q->free_list = &block->items[1];
    return &block->items[0];
}

ts_queue_item* ts_queue_item_new(ts_queue* q)
{
    if (!q)
        return NULL;
    pthread_mutex_lock(&q->free_mutex);
    ts_queue_item* item = q->free_list;
    if (item)
        q->free_list = item->next;
    else
        item = ts_queue_grow(q);
    pthread_mutex_unlock(&q->free_mutex);
    if (item) {
        item->data = NULL;
        item->next = NULL;
    }
    return item;
}

void ts_queue_item_free(ts_queue* q, ts_queue_item* item)
{
    if (!q || !item)
        return;
    pthread_mutex_lock(&q->free_mutex);
    item->next = q->free_list;
    q->free_list = item;
    pthread_mutex_unlock(&q->free_mutex);
}

void ts_queue_enq(ts_queue* q, ts_queue_item* item)
{
    if (!q || !item)
        return;
    item->next = NULL;
    pthread_mutex_lock(&q->mutex);
    if (q->tail)
        q->tail->next = item;
    else
        __atomic_store_n(&q->head, item, __ATOMIC_RELEASE);
    __atomic_store_n(&q->tail, item, __ATOMIC_RELEASE);
    __atomic_store_n(&q->count, q->count + 1, __ATOMIC_RELEASE);
    pthread_mutex_unlock(&q->mutex);
}

ts_queue_item* ts_queue_deq(ts_queue* q)
{
    if (!q)
        return NULL;
    pthread_mutex_lock(&q->mutex);
    ts_queue_item* item = q->head;
    if (item) {
        __atomic_store_n(&q->head, item->next, __ATOMIC_RELEASE);
        if (!item->next)
            __atomic_store_n(&q->tail, NULL, __ATOMIC_RELEASE);
        __atomic_store_n(&q->count, q->count - 1, __ATOMIC_RELEASE);
    }
    pthread_mutex_unlock(&q->mutex);
    return item;
}

int ts_queue_enq_data(ts_queue* q, void* data)
{
    if (!q || !data)
        return -1;
    ts_queue_item* item = ts_queue_item_new(q);
    if (!item)
        return -1;
    item->data = data;
    ts_queue_enq(q, item);
    return 0;
}

void* ts_queue_deq_data(ts_queue* q)
{
    ts_queue_item* item = ts_queue_deq(q);
    if (!item)
        return NULL;
    void* data = item->data;
    ts_queue_item_free(q, item);
    return data;
}

ts_queue_item* ts_queue_head(ts_queue* q)
{
    return q ? __atomic_load_n(&q->head, __ATOMIC_ACQUIRE) : NULL;
}

ts_queue_item* ts_queue_peek(ts_queue* q)
{
    return ts_queue_head(q);
}

ts_queue_item* ts_queue_tail(ts_queue* q)
{
    return q ? __atomic_load_n(&q->tail, __ATOMIC_ACQUIRE) : NULL;
}

int ts_queue_count(ts_queue* q)
{
    return q ? __atomic_load_n(&q->count, __ATOMIC_ACQUIRE) : 0;
}

int ts_queue_is_empty(ts_queue* q)
{
    return ts_queue_count(q) == 0;
}
