// What the shared libraries export: the library is built with hidden
// visibility, and only declarations marked QOR_EXPORT are part of its
// interface.
#pragma once

#define QOR_EXPORT __attribute__((visibility("default")))
