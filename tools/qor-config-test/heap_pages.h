// Backing a program's heap with transparent huge pages.
#pragma once

namespace qor {

// Makes every thread allocate from the one main heap and asks the kernel for
// huge pages under the next 16 MiB of it, so that building the TLS
// library's certificate stores (some thousands of small blocks) does not pay
// a page fault for every 4 KiB; on virtual machines each costs tens of
// microseconds. For a program's main, before any thread starts; where the
// kernel has no transparent huge pages, or another allocator stands in for
// glibc's, nothing changes.
void use_huge_heap_pages();

}  // namespace qor
