// What the sanitizer runs of the host tests leave out of their verdict: faults inside third-party
// plug-in libraries (their own leaks, races between their own threads, misuse the interceptors
// see inside them), which are the plug-ins' and not this host's. Only libraries in the system's
// plug-in folders are named: our code, and our own plug-ins in build/plugins, stay fully checked.
// The installed-plug-ins test keeps each library mapped until the process ends, so that a report
// made at exit can still name the library a leak came from.
//
// The sanitizer runtimes look these functions up by name; the plain build never calls them.

extern "C" {

const char* __lsan_default_suppressions() {
    return "leak:/usr/lib/vst/\n"
           "leak:/usr/local/lib/vst/\n";
}

const char* __asan_default_suppressions() {
    return "interceptor_via_lib:/usr/lib/vst/\n"
           "interceptor_via_lib:/usr/local/lib/vst/\n";
}

const char* __tsan_default_suppressions() {
    return "race:/usr/lib/vst/\n"
           "race:/usr/local/lib/vst/\n";
}

} // extern "C"
