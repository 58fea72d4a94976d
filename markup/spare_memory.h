// Large blocks of memory that documents gave up, kept for the next large document.
//
// Memory fresh from the system is faulted in page by page when it is first written, and the C
// library hands large freed blocks back to the system: a program that builds or loads one large
// document after another would pay for the faults every time (a third of the time of building a
// document of a few megabytes). The text, the index segments and the attribute tables of a
// document that goes are kept here instead, and the next document grows into them.
//
// What is kept is bounded: blocks from 64 KB, one text of at most 16 MB and at most 24 MB of
// other blocks for the whole process (the C library itself keeps up to 64 MB of freed heap
// before it gives any back). A block is only taken by a table that would grow to at least a
// quarter of it, so that a small document does not hold a large block for its whole life.
#pragma once

#include <cstddef>
#include <string>

namespace markup {

// A block of at least `needed` bytes, and at most four times `want`, from those kept; its size
// is put in `got`. Null when none suits.
void* takeSpareBlock(size_t needed, size_t want, size_t& got);

// Gives up `block` of `bytes` (from malloc or takeSpareBlock): kept, or freed. Null is ignored.
void keepSpareBlock(void* block, size_t bytes);

// `block` (null, or `held` bytes from malloc or takeSpareBlock, of which the first `used` are in
// use) grown to at least `needed` bytes: into a kept block when one suits, else from 2 MB up into
// a fresh block of whole huge pages (in both cases the old one is given up), else with realloc.
// Its size is put in `got`. Throws std::bad_alloc when memory is exhausted; `block` is then as
// it was.
void* growBlock(void* block, size_t used, size_t held, size_t needed, size_t& got);

// Moves `text` into the kept text buffer when one of at least `needed` characters, and at most
// four times `want`, is kept. False (`text` as it was) when none suits.
bool takeSpareText(std::u16string& text, size_t needed, size_t want);

// Keeps the buffer of `text` when it is larger than the one kept; `text` is left with the
// smaller one (or none), for its owner to free.
void keepSpareText(std::u16string& text);

}  // namespace markup
