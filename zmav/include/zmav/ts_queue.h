// SPDX-License-Identifier: GPL-2.0-or-later
#ifndef ZMAV_TS_QUEUE_H
#define ZMAV_TS_QUEUE_H

#include <zmav/zmav_export.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Unbounded FIFO of pointers for any number of threads. Elements come from blocks of 32 that
   are recycled, so steady traffic allocates nothing; the blocks go back to the system with
   the queue. Every function accepts a null queue and then does nothing. */

typedef struct ts_queue_item {
    void* data;
    struct ts_queue_item* next;
} ts_queue_item;

typedef struct ts_queue ts_queue;

ZMAV_EXPORT ts_queue* ts_queue_create(void);
ZMAV_EXPORT int ts_queue_init(ts_queue* q);
/* Frees the queue and its element blocks; the data still queued stays the caller's. */
ZMAV_EXPORT void ts_queue_destroy(ts_queue* q);

ZMAV_EXPORT ts_queue_item* ts_queue_item_new(ts_queue* q);
ZMAV_EXPORT void ts_queue_item_free(ts_queue* q, ts_queue_item* item);
ZMAV_EXPORT void ts_queue_enq(ts_queue* q, ts_queue_item* item);
ZMAV_EXPORT ts_queue_item* ts_queue_deq(ts_queue* q);

/* -1 for a null queue or data, or when no element can be allocated. */
ZMAV_EXPORT int ts_queue_enq_data(ts_queue* q, void* data);
/* Null when the queue is empty. */
ZMAV_EXPORT void* ts_queue_deq_data(ts_queue* q);

/* Snapshots taken without the lock: they may be out of date as soon as they return. */
ZMAV_EXPORT ts_queue_item* ts_queue_head(ts_queue* q);
ZMAV_EXPORT ts_queue_item* ts_queue_peek(ts_queue* q);
ZMAV_EXPORT ts_queue_item* ts_queue_tail(ts_queue* q);
ZMAV_EXPORT int ts_queue_count(ts_queue* q);
ZMAV_EXPORT int ts_queue_is_empty(ts_queue* q);

#ifdef __cplusplus
}
#endif

#endif
