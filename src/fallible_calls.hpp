#pragma once

#include <cstddef>
#include <cstdint>

// The C library calls whose failures the tool must survive, behind functions
// of its own: a test build links other definitions that make each of them
// fail on demand, so that the paths taken only when memory is short or the
// output cannot be closed are run by the tests too.

// malloc of `count` elements, for the element array; may return null, also
// for a count of 0, as malloc(0) may.
std::int32_t* allocateElements(std::size_t count);

// malloc of the writer's output buffer; may return null.
char* allocateOutputBuffer(std::size_t size);

// fclose(stdout): 0, or EOF with errno set.
int closeOutput();
