#pragma once

// Marks what the shared library exports: the public classes. Everything
// else in the library is hidden, so that programs cannot come to depend on
// the library's internals and its dynamic symbol table stays small.
#define DISPOR_EXPORT __attribute__((visibility("default")))
