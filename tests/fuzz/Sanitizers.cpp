// The sanitizers' settings every fuzz target starts with, whoever runs it and however.

// The address sanitizer keeps freed memory from reuse for a while, to catch its use after the
// free: by default up to 256 MB of it, counted in the process's resident memory, which alone would
// reach the campaigns' bound (-rss_limit_mb=256). That bound is for the code's own memory, and for
// libFuzzer's corpus, which a long campaign grows to some tens of MB.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=16";
}

// Where undefined behaviour happened, not only what it was.
extern "C" const char* __ubsan_default_options()
{
    return "print_stacktrace=1";
}
