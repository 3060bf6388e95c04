// Link into any program that binds the media libraries under ASan: this compiler's LeakSanitizer
// misreads the thread-local storage of libraries opened with dlopen and can crash at exit.
extern "C" const char *__asan_default_options() {
  return "intercept_tls_get_addr=0";
}

// libx265 keeps allocations of its own global state until the process ends; they are not ours.
extern "C" const char *__lsan_default_suppressions() {
  return "leak:libx265.so\n";
}
