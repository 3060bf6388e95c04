// Link into any program that binds the media libraries under ASan: this compiler's LeakSanitizer
// misreads the thread-local storage of libraries opened with dlopen and can crash at exit.
extern "C" const char *__asan_default_options() {
  return "intercept_tls_get_addr=0";
}
