// The plug-in's texts for the page, gathered into one script. Each script
// a web view runs costs both of WebKit's processes far more than its
// length, so the helper hands the page everything one read of its socket
// brought as a single call of the page's receiver (see page_view.cpp):
//
//   window.__yawpDeliver && window.__yawpDeliver("text", "text", ...)
#pragma once

#include <cstddef>

struct PageBatch;

PageBatch* page_batch_new();
void page_batch_free(PageBatch* batch);

// Adds one text. Invalid UTF-8 is dropped (false), as the Windows bridge
// drops it; the texts around it still go.
bool page_batch_add(PageBatch* batch, const char* text, size_t length);

bool page_batch_empty(const PageBatch* batch);

// The script that hands every text added so far to the page, in order;
// NUL-ended, valid until the batch changes.
const char* page_batch_script(PageBatch* batch, size_t* length);

// Empties the batch for the next read.
void page_batch_clear(PageBatch* batch);
