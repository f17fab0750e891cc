// The address sanitizer's settings for every fuzz target; ASAN_OPTIONS still wins.
//
// quarantine_size_mb: the sanitizer keeps freed memory aside for a while, so that a
// use after free finds poisoned memory. The default 256 MB is counted in the bytes the
// program asked for; the targets free millions of small strings, and 256 MB of those,
// with their red zones and chunk headers, take several times that. One input frees far
// less than 32 MB, so a use after free within an input, or of what the input before it
// freed, is still caught.
//
// malloc_context_size: the sanitizer records where each block was allocated and freed,
// walking frame pointers. Nearly every block comes from inside Qt, which is built
// without frame pointers, so beyond the first two frames the walk reads stray values;
// every such stack counts as new and is kept for good, which grew the store of stacks
// by about a kilobyte an input. Two frames still name the allocating function and
// its caller. For full stacks of a finding, replay it with
//   ASAN_OPTIONS=malloc_context_size=30:fast_unwind_on_malloc=0
extern "C" __attribute__((visibility("default"), used)) const char *__asan_default_options()
{
    return "quarantine_size_mb=32:malloc_context_size=2";
}
